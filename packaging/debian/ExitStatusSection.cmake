# Run as `cmake -DPAGE=FILE -P ExitStatusSection.cmake` on a page help2man made. help2man takes the
# "Exit status:" paragraph that ends a program's --help for a subsection of OPTIONS; it is the page's
# EXIT STATUS section, which then stands where manual pages put it, right after OPTIONS. A help
# without that paragraph fails the build rather than give a page without its statuses.
file(READ "${PAGE}" page)
set(subsection ".SS \"Exit status:\"\n")
string(FIND "${page}" "${subsection}" first)
string(FIND "${page}" "${subsection}" last REVERSE)
if(first EQUAL -1 OR NOT first EQUAL last)
  message(FATAL_ERROR "${PAGE}: the --help it was made from does not end with one \"Exit status:\" paragraph")
endif()
string(REPLACE "${subsection}" ".SH \"EXIT STATUS\"\n" page "${page}")
file(WRITE "${PAGE}" "${page}")
