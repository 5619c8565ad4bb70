# The converter for the web, built with Emscripten from the same library as the program: the
# WebAssembly core (src/web), the ES module over it and the page (web/), and their tests in
# Node and in headless Chromium. Included by the top-level CMakeLists.txt in place of the
# program and its native tests.

# Without C++ exceptions: the conversion throws none (a failure is returned as a value), and
# with catching compiled in every call made inside a try goes through JavaScript. Running out
# of memory, the one exception left, aborts the module instead: pn2tavix.mjs reports it as the
# program's "Out of memory" and starts a fresh module.
set(PN2TAVIX_WEB_CXX_FLAGS "")
# memcpy and memset as single WebAssembly instructions rather than loops: the output is copied
# as it grows. 15 % less processor time for 5 MB in Node (bench.mjs, side by side).
list(APPEND PN2TAVIX_WEB_CXX_FLAGS -mbulk-memory)
# Optimised across the library's files and the exports as one, so that calls from one file to
# another can be made inline.
# 15 % less processor time for the 5 MB conversion in Node (bench/README.md, "The module's round").
list(APPEND PN2TAVIX_WEB_CXX_FLAGS -flto)
option(PN2TAVIX_WEB_SIMD "Read tokens 16 bytes at once with WebAssembly SIMD" ON)
if(PN2TAVIX_WEB_SIMD)
  list(APPEND PN2TAVIX_WEB_CXX_FLAGS -msimd128 -msse2)
endif()
target_compile_options(pn2tavix_core PRIVATE ${PN2TAVIX_WEB_CXX_FLAGS})

set(PN2TAVIX_WEB_DIST ${PROJECT_BINARY_DIR}/dist)

add_executable(pn2tavix_web src/web/web.cc)
target_link_libraries(pn2tavix_web PRIVATE pn2tavix_core)
target_compile_options(pn2tavix_web PRIVATE ${PN2TAVIX_WARNINGS} ${PN2TAVIX_WEB_CXX_FLAGS})
target_link_options(pn2tavix_web PRIVATE
  -mbulk-memory
  -flto
  --no-entry
  -sMODULARIZE=1
  -sEXPORT_ES6=1
  -sEXPORT_NAME=createCore
  -sENVIRONMENT=web,worker
  -sFILESYSTEM=0
  -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=4GB
  -sEXPORTED_FUNCTIONS=_malloc,_free)
set_target_properties(pn2tavix_web PROPERTIES
  OUTPUT_NAME pn2tavix-core
  SUFFIX .mjs
  RUNTIME_OUTPUT_DIRECTORY ${PN2TAVIX_WEB_DIST})

# The page and the module's JavaScript, bundled by esbuild from web/; its packages come from
# the committed lockfile, installed again whenever it changes.
find_program(PN2TAVIX_NODE node REQUIRED)
find_program(PN2TAVIX_NPM npm REQUIRED)
set(PN2TAVIX_WEB_SOURCE ${PROJECT_SOURCE_DIR}/web)
set(PN2TAVIX_NODE_MODULES ${PN2TAVIX_WEB_SOURCE}/node_modules/.package-lock.json)
add_custom_command(
  OUTPUT ${PN2TAVIX_NODE_MODULES}
  COMMAND ${PN2TAVIX_NPM} ci --no-audit --no-fund
  DEPENDS ${PN2TAVIX_WEB_SOURCE}/package-lock.json ${PN2TAVIX_WEB_SOURCE}/package.json
  WORKING_DIRECTORY ${PN2TAVIX_WEB_SOURCE}
  COMMENT "Installing the page's packages (npm ci)")

set(PN2TAVIX_PAGE_SOURCES
  ${PN2TAVIX_WEB_SOURCE}/app.js
  ${PN2TAVIX_WEB_SOURCE}/build.mjs
  ${PN2TAVIX_WEB_SOURCE}/bytes.js
  ${PN2TAVIX_WEB_SOURCE}/docs.css
  ${PN2TAVIX_WEB_SOURCE}/editor.js
  ${PN2TAVIX_WEB_SOURCE}/index.html
  ${PN2TAVIX_WEB_SOURCE}/meaning.js
  ${PN2TAVIX_WEB_SOURCE}/music-grammar.js
  ${PN2TAVIX_WEB_SOURCE}/playback/controls.js
  ${PN2TAVIX_WEB_SOURCE}/playback/plan.js
  ${PN2TAVIX_WEB_SOURCE}/playback/player.js
  ${PN2TAVIX_WEB_SOURCE}/playback/synth.js
  ${PN2TAVIX_WEB_SOURCE}/pn2tavix.mjs
  ${PN2TAVIX_WEB_SOURCE}/roll-draw.js
  ${PN2TAVIX_WEB_SOURCE}/roll-interaction.js
  ${PN2TAVIX_WEB_SOURCE}/roll-layout.js
  ${PN2TAVIX_WEB_SOURCE}/roll.js
  ${PN2TAVIX_WEB_SOURCE}/splitter.js
  ${PN2TAVIX_WEB_SOURCE}/style.css
  ${PN2TAVIX_WEB_SOURCE}/worker.js
  ${PROJECT_SOURCE_DIR}/docs/input-language.md
  ${PROJECT_SOURCE_DIR}/docs/output-format.md
  ${PROJECT_SOURCE_DIR}/docs/web.md
  ${PROJECT_SOURCE_DIR}/examples/minuet.pdp1)
add_custom_command(
  OUTPUT ${PN2TAVIX_WEB_DIST}/index.html ${PN2TAVIX_WEB_DIST}/app.js ${PN2TAVIX_WEB_DIST}/worker.js
         ${PN2TAVIX_WEB_DIST}/pn2tavix.mjs ${PN2TAVIX_WEB_DIST}/examples.json
         ${PN2TAVIX_WEB_DIST}/package.json
  COMMAND ${PN2TAVIX_NODE} ${PN2TAVIX_WEB_SOURCE}/build.mjs ${PN2TAVIX_WEB_DIST} ${PROJECT_VERSION}
  DEPENDS ${PN2TAVIX_PAGE_SOURCES} ${PN2TAVIX_NODE_MODULES}
  COMMENT "Bundling the page into ${PN2TAVIX_WEB_DIST}")
add_custom_target(pn2tavix_page ALL DEPENDS ${PN2TAVIX_WEB_DIST}/index.html)
add_dependencies(pn2tavix_page pn2tavix_web)

# The module in Node on every golden case, then the page in headless Chromium as a person uses
# it. Each runs with Node's own test runner.
enable_testing()
set(PN2TAVIX_WEB_TEST_ENV
  PN2TAVIX_WEB_DIST=${PN2TAVIX_WEB_DIST}
  PN2TAVIX_WEB_ARTIFACTS=${PROJECT_BINARY_DIR}/artifacts)
pn2tavix_test(web web_module_node
  ${PN2TAVIX_NODE} --test ${PN2TAVIX_WEB_SOURCE}/tests/node/
  WORKING_DIRECTORY ${PN2TAVIX_WEB_SOURCE})
pn2tavix_test(web web_page_chromium
  ${PN2TAVIX_NODE} --test --test-concurrency=1 ${PN2TAVIX_WEB_SOURCE}/tests/browser/
  WORKING_DIRECTORY ${PN2TAVIX_WEB_SOURCE})
set_tests_properties(web_module_node web_page_chromium PROPERTIES
  ENVIRONMENT "${PN2TAVIX_WEB_TEST_ENV}")
set_tests_properties(web_page_chromium PROPERTIES TIMEOUT 600)
