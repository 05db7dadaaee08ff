# Configures vela's usd-core flavour afresh in BINARY_DIR with the TBB
# headers in TBB_INCLUDE_DIR (oneTBB's) and checks that the configure step
# refuses them because of the layout they give OpenUSD's classes.
#
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DTBB_INCLUDE_DIR=... -DPYTHON=...
#         -DPREFIXES=a|b|... -P usdCoreConfigure.cmake
if(NOT TBB_INCLUDE_DIR)
    message("skipped: no oneTBB headers (pxr-tbb-dev) beside the -dev packages")
    return()
endif()
file(REMOVE_RECURSE "${BINARY_DIR}")
string(REPLACE "|" ";" prefixes "${PREFIXES}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${BINARY_DIR}"
        -DVELA_USD_FLAVOUR=usd-core
        "-DVELA_TBB_INCLUDE_DIR=${TBB_INCLUDE_DIR}"
        -DVELA_BUILD_PYTHON=OFF
        "-DPython_EXECUTABLE=${PYTHON}"
        "-DCMAKE_PREFIX_PATH=${prefixes}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
file(REMOVE_RECURSE "${BINARY_DIR}")
# CMake wraps long messages; compare words.
string(REGEX REPLACE "[ \t\r\n]+" " " words "${output}")
if(result EQUAL 0)
    message(FATAL_ERROR "the usd-core flavour configured with oneTBB's headers:\n${output}")
endif()
if(NOT words MATCHES "give TfDiagnosticMgr 384 bytes; usd-core 26.8's library has 360")
    message(FATAL_ERROR "the configure step failed, but not on the layout check:\n${output}")
endif()
message("refused oneTBB's headers: TfDiagnosticMgr 384 bytes against usd-core's 360")
