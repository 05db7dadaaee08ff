# Shared settings of vela's libraries and plug-ins.
#
# Installed layout, relative to site-packages:
#   velahub_sdk.libs/libNAME.so.0                         the libraries
#   velahub_sdk.libs/usd/plugInfo.json                    includes every plug-in
#   velahub_sdk.libs/usd/NAME/resources/plugInfo.json     one per plug-in
#   vela/...                                              the Python packages
# OpenUSD's own libraries sit in site-packages/pxr/.libs (the split
# packages) or site-packages/usd_core.libs (usd-core):
# VELA_PXR_WHEEL_LIBS_DIR (cmake/VelaOpenUSD.cmake).

set(VELA_LIBS_DIR velahub_sdk.libs)
set(VELA_PLUGIN_DIR ${VELA_LIBS_DIR}/usd)
set(VELA_BUILD_PLUGIN_DIR "${PROJECT_BINARY_DIR}/plugins")

# Run paths of installed libraries and of installed modules (three levels
# below site-packages) to OpenUSD's libraries.
set(VELA_LIBRARY_PXR_RPATH "${VELA_PXR_INSTALL_RPATH}")
set(VELA_MODULE_PXR_RPATH "${VELA_PXR_INSTALL_RPATH}")
if(VELA_PXR_WHEEL_LIBS_DIR)
    set(VELA_LIBRARY_PXR_RPATH "$ORIGIN/../${VELA_PXR_WHEEL_LIBS_DIR}")
    set(VELA_MODULE_PXR_RPATH "$ORIGIN/../../../${VELA_PXR_WHEEL_LIBS_DIR}")
endif()

# Every translation unit sees OpenUSD with Python support, as the pxr
# wheels were built.
add_compile_definitions(PXR_PYTHON_SUPPORT_ENABLED)
# OpenUSD headers still pull in a deprecated libstdc++ header.
add_compile_options(-Wno-deprecated)
# The wheels were built with gcc, whose OpenUSD headers make TfHashMap and
# TfHashSet libstdc++'s hash_map and hash_set; under clang the same headers
# pick std::unordered_map, a different layout for every class that holds
# one (SdfSchemaBase among them). Clang builds (the sanitizer and fuzz
# presets) must see the wheels' layout. An installed OpenUSD was built by
# whichever compiler built it; build vela with the same one.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND NOT VELA_USE_INSTALLED_PXR)
    add_compile_definitions(ARCH_HAS_GNU_STL_EXTENSIONS)
endif()

# vela_add_library(NAME SOURCES ... [PLUGIN] [LIBRARIES ...])
#
# Builds libNAME.so.0 (soname libNAME.so.0, one file, no symlinks: a wheel
# cannot carry them and a copy would load twice), installs it, and for a
# PLUGIN writes plugInfo.json from NAME's plugInfo.json.in twice: once for
# the build tree (absolute library path, used by the tests) and once for
# the installed layout.
function(vela_add_library NAME)
    cmake_parse_arguments(ARG "PLUGIN" "" "SOURCES;LIBRARIES" ${ARGN})
    add_library(${NAME} SHARED ${ARG_SOURCES})
    string(TOUPPER ${NAME} upper)
    target_compile_definitions(${NAME}
        PRIVATE
            MFB_PACKAGE_NAME=${NAME}
            MFB_ALT_PACKAGE_NAME=${NAME}
            ${upper}_EXPORTS=1)
    target_include_directories(${NAME}
        PUBLIC
            $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
    target_link_libraries(${NAME} PUBLIC ${ARG_LIBRARIES})
    set_target_properties(${NAME} PROPERTIES
        OUTPUT_NAME ${NAME}
        PREFIX lib
        SUFFIX .so.0
        NO_SONAME ON
        CXX_VISIBILITY_PRESET default
        BUILD_RPATH "${VELA_PXR_LIBS_DIR}"
        INSTALL_RPATH "${VELA_LIBRARY_PXR_RPATH}")
    target_link_options(${NAME} PRIVATE "-Wl,-soname,lib${NAME}.so.0")
    install(TARGETS ${NAME} LIBRARY DESTINATION ${VELA_LIBS_DIR})

    if(ARG_PLUGIN)
        set(PLUG_NAME ${NAME})
        set(PLUG_LIBRARY_PATH "$<TARGET_FILE:${NAME}>")
        set(PLUG_ROOT "..")
        configure_file(plugInfo.json.in
            "${CMAKE_CURRENT_BINARY_DIR}/plugInfo.json.build" @ONLY)
        file(GENERATE
            OUTPUT "${VELA_BUILD_PLUGIN_DIR}/${NAME}/resources/plugInfo.json"
            INPUT "${CMAKE_CURRENT_BINARY_DIR}/plugInfo.json.build")

        set(PLUG_LIBRARY_PATH "../../lib${NAME}.so.0")
        set(PLUG_ROOT "..")
        configure_file(plugInfo.json.in
            "${CMAKE_CURRENT_BINARY_DIR}/plugInfo.json" @ONLY)
        install(FILES "${CMAKE_CURRENT_BINARY_DIR}/plugInfo.json"
            DESTINATION ${VELA_PLUGIN_DIR}/${NAME}/resources)
    endif()
endfunction()

# The file that lets one PXR_PLUGINPATH_NAME entry (or one RegisterPlugins
# call) find every vela plug-in.
file(WRITE "${VELA_BUILD_PLUGIN_DIR}/plugInfo.json"
    "{\n    \"Includes\": [ \"*/resources/\" ]\n}\n")
install(FILES "${VELA_BUILD_PLUGIN_DIR}/plugInfo.json"
    DESTINATION ${VELA_PLUGIN_DIR})
