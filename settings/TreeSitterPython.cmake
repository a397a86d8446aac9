# The Python parser the scoring file is read with: tree-sitter's runtime as the npm
# package `tree-sitter` vendors it, and the Python grammar's generated C source from the
# npm package `tree-sitter-python`. Both come from the npm registry as source and are
# compiled here, the same code for Linux and for the Windows cross build.
set(TARSUN_TREE_SITTER_VERSION 0.21.1)
set(TARSUN_TREE_SITTER_PYTHON_VERSION 0.21.0)
set(TARSUN_NPM_CACHE "${PROJECT_SOURCE_DIR}/build/npm"
    CACHE PATH "Where the npm packages of the parser are unpacked (shared by the build folders)")

function(tarsun_npm_package name version out)
  set(dir "${TARSUN_NPM_CACHE}/${name}-${version}")
  if(NOT EXISTS "${dir}/package.json")
    find_program(TARSUN_NPM npm REQUIRED)
    file(MAKE_DIRECTORY "${TARSUN_NPM_CACHE}")
    # Build folders share the cache: one unpacks while another waits, then finds it there.
    file(LOCK "${TARSUN_NPM_CACHE}/.lock" GUARD FUNCTION)
  endif()
  if(NOT EXISTS "${dir}/package.json")
    execute_process(COMMAND "${TARSUN_NPM}" pack "${name}@${version}" --silent
                    WORKING_DIRECTORY "${TARSUN_NPM_CACHE}" RESULT_VARIABLE failed
                    OUTPUT_VARIABLE tarball OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(failed)
      message(FATAL_ERROR "npm pack ${name}@${version} failed")
    endif()
    file(REMOVE_RECURSE "${dir}.tmp")
    file(ARCHIVE_EXTRACT INPUT "${TARSUN_NPM_CACHE}/${tarball}" DESTINATION "${dir}.tmp")
    file(RENAME "${dir}.tmp/package" "${dir}")
    file(REMOVE_RECURSE "${dir}.tmp" "${TARSUN_NPM_CACHE}/${tarball}")
  endif()
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

tarsun_npm_package(tree-sitter ${TARSUN_TREE_SITTER_VERSION} runtime)
tarsun_npm_package(tree-sitter-python ${TARSUN_TREE_SITTER_PYTHON_VERSION} grammar)

enable_language(C)
add_library(tarsun_tree_sitter STATIC
  "${runtime}/vendor/tree-sitter/lib/src/lib.c"
  "${grammar}/src/parser.c"
  "${grammar}/src/scanner.c")
target_include_directories(tarsun_tree_sitter SYSTEM PUBLIC "${runtime}/vendor/tree-sitter/lib/include")
target_include_directories(tarsun_tree_sitter PRIVATE "${runtime}/vendor/tree-sitter/lib/src" "${grammar}/src")
set_target_properties(tarsun_tree_sitter PROPERTIES C_STANDARD 11 POSITION_INDEPENDENT_CODE ON)
# Other people's code: built optimised, quietly and without the sanitizers of a test build.
set_property(TARGET tarsun_tree_sitter PROPERTY COMPILE_OPTIONS -O2 -w)
