# The toolchain file of the web preset: Emscripten's own, wherever Emscripten is installed.
# EMSCRIPTEN names its folder when set (as emsdk's environment does); else the folder is found
# from emcc on the PATH, through its symbolic links (Debian's /usr/bin/emcc points into
# /usr/share/emscripten).
set(_pn2tavix_emscripten "$ENV{EMSCRIPTEN}")
if(_pn2tavix_emscripten STREQUAL "")
  find_program(_pn2tavix_emcc emcc NO_CACHE)
  if(NOT _pn2tavix_emcc)
    message(FATAL_ERROR "emcc not found: install Emscripten (apt-get install emscripten), or "
                        "set EMSCRIPTEN to the folder that holds emcc")
  endif()
  file(REAL_PATH "${_pn2tavix_emcc}" _pn2tavix_emcc)
  get_filename_component(_pn2tavix_emscripten "${_pn2tavix_emcc}" DIRECTORY)
endif()
set(_pn2tavix_toolchain "${_pn2tavix_emscripten}/cmake/Modules/Platform/Emscripten.cmake")
if(NOT EXISTS "${_pn2tavix_toolchain}")
  message(FATAL_ERROR "Emscripten's toolchain file is not beside its emcc: ${_pn2tavix_toolchain}")
endif()
include("${_pn2tavix_toolchain}")
