# wxWidgets for the Windows cross build: the static wxMSW that scripts/windows/build-wxmsw.sh keeps in
# its cache outside the tree. FindwxWidgets reads it through its wx-config script, as on Linux.
if(NOT wxWidgets_CONFIG_EXECUTABLE)
  if(DEFINED ENV{ZK405_WX_CONFIG})
    set(found_wx_config $ENV{ZK405_WX_CONFIG})
  else()
    # The script knows which cache entry matches its configure flags; it builds nothing here.
    execute_process(
      COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows/build-wxmsw.sh --print-prefix
      OUTPUT_VARIABLE found_wx_config ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT found_wx_config OR NOT EXISTS "${found_wx_config}")
    message(FATAL_ERROR "No wxMSW for the Windows build. Build it once with "
      "scripts/windows/build-wxmsw.sh (some minutes), pass -DwxWidgets_CONFIG_EXECUTABLE=<its wx-config> "
      "or build without the windows (the mingw-core preset).")
  endif()
  set(wxWidgets_CONFIG_EXECUTABLE ${found_wx_config} CACHE FILEPATH "wx-config of the static wxMSW")
endif()
# The static libraries only: the program must run without wxWidgets DLLs.
set(wxWidgets_CONFIG_OPTIONS --static=yes)
# Header and library look-ups of a cross build stay inside the find roots; the cache is one of them.
execute_process(COMMAND sh ${wxWidgets_CONFIG_EXECUTABLE} --prefix
  OUTPUT_VARIABLE wx_prefix OUTPUT_STRIP_TRAILING_WHITESPACE)
list(APPEND CMAKE_FIND_ROOT_PATH ${wx_prefix})
