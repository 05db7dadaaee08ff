# Finds OpenUSD for vela's libraries.
#
# vela's sources use OpenUSD's canonical include layout (<pxr/pxr.h>,
# <pxr/base/tf/token.h>, <pxr/usd/sdf/layer.h>,
# <pxr/external/boost/python/...>) and link the targets pxr::tf, pxr::vt,
# pxr::gf, pxr::sdf, pxr::ar, pxr::pcp, pxr::plug and pxr::boost-python.
# Two kinds of OpenUSD provide them:
#
#   VELA_USE_INSTALLED_PXR=OFF (default)
#       OpenUSD's split PyPI packages (pxr-tf, pxr-sdf, ... with their -dev
#       packages) in the site-packages of the Python that runs the build.
#       Their headers live at <pxr/tf/token.h>, <pxr/sdf/layer.h>, ...;
#       the build generates an include tree that maps the canonical paths
#       onto them.
#
#   VELA_USE_INSTALLED_PXR=ON
#       An OpenUSD built from source or shipped with an application's SDK,
#       found through its pxrConfig.cmake (set pxr_DIR or CMAKE_PREFIX_PATH
#       to its install root). Its targets (tf, sdf, ...) are given the
#       pxr:: names above.

option(VELA_USE_INSTALLED_PXR
    "Build against an installed OpenUSD (pxrConfig.cmake) instead of the split PyPI packages" OFF)

set(VELA_PXR_COMPONENTS tf vt gf sdf ar pcp plug)

if(VELA_USE_INSTALLED_PXR)
    find_package(pxr CONFIG REQUIRED)
    if(TARGET usd_ms)
        message(FATAL_ERROR "vela needs a non-monolithic OpenUSD build")
    endif()
    foreach(component IN LISTS VELA_PXR_COMPONENTS)
        if(NOT TARGET ${component})
            message(FATAL_ERROR "OpenUSD at ${PXR_CMAKE_DIR} has no library '${component}'")
        endif()
        add_library(pxr::${component} INTERFACE IMPORTED)
        target_link_libraries(pxr::${component} INTERFACE ${component})
        target_include_directories(pxr::${component} INTERFACE ${PXR_INCLUDE_DIRS} ${Python_INCLUDE_DIRS})
    endforeach()
    # OpenUSD's own fork of Boost.Python is the library 'python'
    # (libusd_python); older releases used Boost.Python itself, which
    # vela's modules do not support.
    if(NOT TARGET python)
        message(FATAL_ERROR "OpenUSD at ${PXR_CMAKE_DIR} was built without its Python bindings (pxr_boost::python)")
    endif()
    add_library(pxr::boost-python INTERFACE IMPORTED)
    target_link_libraries(pxr::boost-python INTERFACE python)
    target_include_directories(pxr::boost-python INTERFACE ${PXR_INCLUDE_DIRS})
    set(VELA_PXR_LIBS_DIR "${PXR_CMAKE_DIR}/lib")
    # Installed modules and plug-ins find that OpenUSD where it is.
    set(VELA_PXR_INSTALL_RPATH "${VELA_PXR_LIBS_DIR}")
    return()
endif()

# The split packages' CMake configs live in site-packages/<package>/cmake.
if(NOT VELA_SITE_PACKAGES)
    execute_process(
        COMMAND "${Python_EXECUTABLE}" -c "import sysconfig; print(sysconfig.get_paths()['platlib'])"
        OUTPUT_VARIABLE VELA_SITE_PACKAGES OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
list(APPEND CMAKE_PREFIX_PATH "${VELA_SITE_PACKAGES}")
foreach(component IN LISTS VELA_PXR_COMPONENTS ITEMS boost)
    find_package(pxr-${component} 0.26.8 REQUIRED)
endforeach()
set(VELA_PXR_LIBS_DIR "${VELA_SITE_PACKAGES}/pxr/.libs")
set(VELA_PXR_INSTALL_RPATH "")

# The canonical include tree: one link per library directory, named where
# an OpenUSD install keeps it, and a <pxr/pxr.h> of our own. The split
# headers include each other by their own paths, which stay reachable
# through the packages' include directories; include guards keep a header
# reached both ways from being read twice.
set(VELA_PXR_INCLUDE_DIR "${PROJECT_BINARY_DIR}/pxr-include")
set(_vela_base_libs arch tf gf js trace work plug vt ts pegtl)
set(_vela_usd_libs ar sdf pcp kind usd ndr sdr)
file(GLOB _vela_pxr_lib_dirs LIST_DIRECTORIES true
    "${VELA_SITE_PACKAGES}/pxr-*/include/pxr/*")
foreach(dir IN LISTS _vela_pxr_lib_dirs)
    if(NOT IS_DIRECTORY "${dir}")
        continue()
    endif()
    get_filename_component(lib "${dir}" NAME)
    if(lib IN_LIST _vela_base_libs)
        set(link "${VELA_PXR_INCLUDE_DIR}/pxr/base/${lib}")
    elseif(lib IN_LIST _vela_usd_libs)
        set(link "${VELA_PXR_INCLUDE_DIR}/pxr/usd/${lib}")
    elseif(lib STREQUAL "boost")
        set(link "${VELA_PXR_INCLUDE_DIR}/pxr/external/boost")
    else()
        message(STATUS "vela: no canonical place for OpenUSD headers in ${dir}; skipped")
        continue()
    endif()
    get_filename_component(parent "${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${dir}" "${link}" SYMBOLIC)
endforeach()
configure_file("${CMAKE_CURRENT_LIST_DIR}/pxr.h.in"
    "${VELA_PXR_INCLUDE_DIR}/pxr/pxr.h" @ONLY)

foreach(component IN LISTS VELA_PXR_COMPONENTS ITEMS boost-python)
    set_property(TARGET pxr::${component} APPEND PROPERTY
        INTERFACE_INCLUDE_DIRECTORIES "${VELA_PXR_INCLUDE_DIR}")
endforeach()
