# Precompiled headers for the two big library headers most sources of a kind share: wxWidgets for the
# windows, GoogleTest for the tests. Each is parsed once for all the targets of its kind instead of
# once per source file. Off with -DZK405_PCH=OFF, for a compiler or a compiler cache that does not cope
# (ccache hands such sources to the compiler uncached unless its sloppiness has
# pch_defines,time_macros,include_file_mtime,include_file_ctime).
#
# Not precompiled, as measured: nlohmann/json and CLI11, used by a few sources each, where making the
# precompiled header costs as much as the parses it saves; and CLI11 defines objects (its validators)
# that every source including it constructs, seconds of code for a source that reads no option.
option(ZK405_PCH "Precompile the library headers the sources share" ON)

# Only headers the sources include already, so that no header brings a warning of its own: every
# source of a target is compiled on them.
set(ZK405_PCH_WX
  <wx/app.h> <wx/button.h> <wx/checkbox.h> <wx/combobox.h> <wx/dialog.h> <wx/image.h> <wx/msgdlg.h>
  <wx/radiobut.h> <wx/settings.h> <wx/statbmp.h> <wx/stattext.h> <wx/string.h> <wx/textctrl.h>
  <wx/utils.h>)
set(ZK405_PCH_GTEST <gtest/gtest.h>)

# zk405_precompile(TARGET HEADER...): TARGET's sources are compiled on HEADERs, precompiled once.
# zk405_precompile(TARGET FROM OTHER): on OTHER's, which are then built once for both; the two need the
# same definitions and options, or the compiler refuses them (-Winvalid-pch, an error with -Werror).
function(zk405_precompile target)
  if(NOT ZK405_PCH)
    return()
  endif()
  if(ARGV1 STREQUAL "FROM")
    # At the end of the configuration, when OTHER exists even if it is made later (app/ before ui/).
    # (A deferred call reads its variables when it runs, hence the names written into it here.)
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]]
      CALL target_precompile_headers [[${target}]] REUSE_FROM [[${ARGV2}]])")
  else()
    list(SUBLIST ARGV 1 -1 headers)
    target_precompile_headers(${target} PRIVATE ${headers})
  endif()
endfunction()
