# Finds OpenUSD for vela's libraries.
#
# vela's sources use OpenUSD's canonical include layout (<pxr/pxr.h>,
# <pxr/base/tf/token.h>, <pxr/usd/sdf/layer.h>,
# <pxr/external/boost/python/...>) and link the targets pxr::tf, pxr::vt,
# pxr::gf, pxr::sdf, pxr::ar, pxr::pcp, pxr::plug, pxr::work and
# pxr::boost-python. Three kinds of OpenUSD provide them:
#
#   VELA_USD_FLAVOUR=split (default)
#       OpenUSD's split PyPI packages (pxr-tf, pxr-sdf, ... with their -dev
#       packages for the headers and CMake configs). The -dev packages'
#       headers live at <pxr/tf/token.h>, <pxr/sdf/layer.h>, ...; the build
#       generates an include tree that maps the canonical paths onto them.
#
#   VELA_USD_FLAVOUR=usd-core
#       PyPI's usd-core 26.8: one monolithic library,
#       usd_core.libs/libusd_ms-<hash>.so, with legacy TBB 2020.3 beside it
#       (libtbb-<hash>.so.2), and no headers. The same OpenUSD release's
#       split -dev packages provide the headers (through the same generated
#       include tree), compiled against legacy TBB 2020 headers
#       (VELA_TBB_INCLUDE_DIR: tbb-devel 2020.0.133's from the scripts,
#       else third_party/tbb-2020.3): OpenUSD's headers lay several classes out
#       after the TBB headers they see, and the -dev packages' own oneTBB
#       headers give layouts that usd-core's library does not have. Their
#       CMake configs are never loaded, so nothing of oneTBB reaches an
#       include path; a configure check compares a layout with the
#       library's. The auditwheel hashes in the library names are their
#       sonames too, so a build fits one exact usd-core wheel.
#
#   VELA_USE_INSTALLED_PXR=ON
#       An OpenUSD built from source or shipped with an application's SDK,
#       found through its pxrConfig.cmake (set pxr_DIR or CMAKE_PREFIX_PATH
#       to its install root). Its targets (tf, sdf, ...) are given the
#       pxr:: names above.
#
# The -dev packages (and usd-core) are looked for where pip put them: the
# building Python's site-packages, and every CMAKE_PREFIX_PATH entry (from
# the cache or the environment). scikit-build-core adds the site-packages
# of an isolated build environment there.
#
# Set here for the rest of the build:
#   VELA_PXR_LIBS_DIR          directory of OpenUSD's libraries, for the
#                              build tree's run paths
#   VELA_PXR_WHEEL_LIBS_DIR    the same relative to site-packages, for the
#                              installed run paths ("" for an installed OpenUSD)
#   VELA_PXR_INSTALL_RPATH     absolute run path of an installed OpenUSD
#   VELA_PXR_SEARCH_PREFIXES   where the -dev packages and usd-core were
#                              looked for

option(VELA_USE_INSTALLED_PXR
    "Build against an installed OpenUSD (pxrConfig.cmake) instead of PyPI's packages" OFF)
set(VELA_USD_FLAVOUR "split" CACHE STRING
    "Which of PyPI's OpenUSD packages to build against: split (pxr-tf, pxr-sdf, ...) or usd-core")
set_property(CACHE VELA_USD_FLAVOUR PROPERTY STRINGS split usd-core)
if(NOT VELA_USD_FLAVOUR MATCHES "^(split|usd-core)$")
    message(FATAL_ERROR "VELA_USD_FLAVOUR is '${VELA_USD_FLAVOUR}'; it must be 'split' or 'usd-core'")
endif()

# A wheel's dependencies (pyproject.toml) follow the environment variable
# VELA_USD_FLAVOUR; a wheel built for one flavour with the other's
# dependencies would install and then fail at import.
if(SKBUILD AND NOT VELA_USE_INSTALLED_PXR)
    set(_vela_env_flavour "$ENV{VELA_USD_FLAVOUR}")
    if(_vela_env_flavour STREQUAL "")
        set(_vela_env_flavour "split")
    endif()
    if(NOT _vela_env_flavour STREQUAL VELA_USD_FLAVOUR)
        message(FATAL_ERROR
            "vela: the wheel is being built for the '${VELA_USD_FLAVOUR}' flavour, but the "
            "environment variable VELA_USD_FLAVOUR is '$ENV{VELA_USD_FLAVOUR}', and the wheel's "
            "dependencies follow the environment variable. Choose the flavour through it alone: "
            "VELA_USD_FLAVOUR=usd-core pip install .")
    endif()
endif()

set(VELA_PXR_COMPONENTS tf vt gf sdf ar pcp plug)

if(VELA_USE_INSTALLED_PXR)
    if(NOT VELA_USD_FLAVOUR STREQUAL "split")
        message(FATAL_ERROR "VELA_USE_INSTALLED_PXR builds against an installed OpenUSD; "
            "it does not combine with VELA_USD_FLAVOUR=${VELA_USD_FLAVOUR}")
    endif()
    find_package(pxr CONFIG REQUIRED)
    if(TARGET usd_ms)
        message(FATAL_ERROR "vela needs a non-monolithic OpenUSD build")
    endif()
    foreach(component IN LISTS VELA_PXR_COMPONENTS ITEMS work)
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
    set(VELA_PXR_WHEEL_LIBS_DIR "")
    # Installed modules and plug-ins find that OpenUSD where it is.
    set(VELA_PXR_INSTALL_RPATH "${VELA_PXR_LIBS_DIR}")
    return()
endif()

# The building Python's site-packages, searched after CMAKE_PREFIX_PATH,
# and the site-packages directories on its module path: pip's isolated
# build environment installs build-system.requires into one of those and
# the backend's further requirements (build.requires in pyproject.toml)
# into another.
if(NOT VELA_SITE_PACKAGES)
    execute_process(
        COMMAND "${Python_EXECUTABLE}" -c "import sysconfig; print(sysconfig.get_paths()['platlib'])"
        OUTPUT_VARIABLE VELA_SITE_PACKAGES OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
execute_process(
    COMMAND "${Python_EXECUTABLE}" -c
        "import os, sys; print(';'.join(p for p in sys.path if os.path.basename(p) in ('site-packages', 'dist-packages') and os.path.isdir(p)))"
    OUTPUT_VARIABLE _vela_python_site_dirs OUTPUT_STRIP_TRAILING_WHITESPACE)
list(APPEND CMAKE_PREFIX_PATH ${_vela_python_site_dirs} "${VELA_SITE_PACKAGES}")
list(REMOVE_DUPLICATES CMAKE_PREFIX_PATH)
set(_vela_prefixes ${CMAKE_PREFIX_PATH})
if(DEFINED ENV{CMAKE_PREFIX_PATH})
    string(REPLACE ":" ";" _vela_env_prefixes "$ENV{CMAKE_PREFIX_PATH}")
    list(APPEND _vela_prefixes ${_vela_env_prefixes})
endif()
list(REMOVE_DUPLICATES _vela_prefixes)
set(VELA_PXR_SEARCH_PREFIXES ${_vela_prefixes})

# The OpenUSD libraries whose -dev packages hold headers, and where an
# OpenUSD install keeps each library's headers.
set(_vela_base_libs arch tf gf js trace work plug vt ts pegtl)
set(_vela_usd_libs ar sdf pcp)

# vela_find_pxr_config_dir(LIB OUT): the directory of pxr-LIB-config.cmake,
# where find_package found it or, when it was not asked for, where it would
# find it (<prefix>/pxr-LIB/cmake/pxr-LIB). Never cached: an isolated build
# environment is a new directory every time.
function(vela_find_pxr_config_dir lib out)
    set(name "pxr-${lib}")
    if(${name}_DIR AND EXISTS "${${name}_DIR}/${name}-config.cmake")
        set(${out} "${${name}_DIR}" PARENT_SCOPE)
        return()
    endif()
    foreach(prefix IN LISTS _vela_prefixes)
        if(EXISTS "${prefix}/${name}/cmake/${name}/${name}-config.cmake")
            set(${out} "${prefix}/${name}/cmake/${name}" PARENT_SCOPE)
            return()
        endif()
    endforeach()
    string(REPLACE ";" "\n  " searched "${_vela_prefixes}")
    message(FATAL_ERROR "vela: no ${name}-dev 26.8 (OpenUSD's ${lib} headers); searched\n  ${searched}\n"
        "Install the split -dev packages (scripts/requirements.txt lists them; for the usd-core "
        "flavour scripts/requirements-usd-build.txt) into the building Python, or add their "
        "site-packages to CMAKE_PREFIX_PATH.")
endfunction()

# The split flavour links the -dev packages' own targets.
if(VELA_USD_FLAVOUR STREQUAL "split")
    foreach(component IN LISTS VELA_PXR_COMPONENTS ITEMS boost)
        find_package(pxr-${component} 0.26.8 REQUIRED)
    endforeach()
endif()

# The canonical include tree: one link per library directory, named where
# an OpenUSD install keeps it, and a <pxr/pxr.h> of our own. The split
# headers include each other by their own paths, which stay reachable
# through the packages' include directories (VELA_PXR_SPLIT_INCLUDE_DIRS);
# include guards keep a header reached both ways from being read twice.
set(VELA_PXR_INCLUDE_DIR "${PROJECT_BINARY_DIR}/pxr-include")
set(VELA_PXR_SPLIT_INCLUDE_DIRS "")
foreach(lib IN LISTS _vela_base_libs _vela_usd_libs ITEMS boost)
    vela_find_pxr_config_dir(${lib} configDir)
    get_filename_component(includeDir "${configDir}/../../include" ABSOLUTE)
    if(NOT IS_DIRECTORY "${includeDir}/pxr/${lib}")
        message(FATAL_ERROR "vela: pxr-${lib}-dev at ${includeDir} has no headers pxr/${lib}/")
    endif()
    list(APPEND VELA_PXR_SPLIT_INCLUDE_DIRS "${includeDir}")
    if(lib IN_LIST _vela_base_libs)
        set(link "${VELA_PXR_INCLUDE_DIR}/pxr/base/${lib}")
    elseif(lib IN_LIST _vela_usd_libs)
        set(link "${VELA_PXR_INCLUDE_DIR}/pxr/usd/${lib}")
    else()
        set(link "${VELA_PXR_INCLUDE_DIR}/pxr/external/boost")
    endif()
    get_filename_component(parent "${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(REMOVE "${link}")
    file(CREATE_LINK "${includeDir}/pxr/${lib}" "${link}" SYMBOLIC)
endforeach()
configure_file("${CMAKE_CURRENT_LIST_DIR}/pxr.h.in"
    "${VELA_PXR_INCLUDE_DIR}/pxr/pxr.h" @ONLY)

if(VELA_USD_FLAVOUR STREQUAL "split")
    foreach(component IN LISTS VELA_PXR_COMPONENTS ITEMS work boost-python)
        set_property(TARGET pxr::${component} APPEND PROPERTY
            INTERFACE_INCLUDE_DIRECTORIES "${VELA_PXR_INCLUDE_DIR}")
    endforeach()
    set(VELA_PXR_LIBS_DIR "${VELA_SITE_PACKAGES}/pxr/.libs")
    set(VELA_PXR_WHEEL_LIBS_DIR "pxr/.libs")
    set(VELA_PXR_INSTALL_RPATH "")
    return()
endif()

# --- usd-core ----------------------------------------------------------

set(VELA_USD_CORE_VERSION 26.8)
# sizeof(TfDiagnosticMgr) in usd-core 26.8's library; the oneTBB headers
# make it 384.
set(VELA_USD_CORE_DIAGNOSTIC_MGR_SIZE 360)
set(VELA_TBB_INCLUDE_DIR "${PROJECT_SOURCE_DIR}/third_party/tbb-2020.3/include" CACHE PATH
    "TBB headers that OpenUSD's headers are compiled with in the usd-core flavour (legacy TBB 2020)")
if(NOT IS_DIRECTORY "${VELA_TBB_INCLUDE_DIR}/tbb")
    message(FATAL_ERROR "vela: VELA_TBB_INCLUDE_DIR (${VELA_TBB_INCLUDE_DIR}) holds no tbb/ headers")
endif()

# usd-core's libraries: the first usd-core 26.8 in the search path.
set(_vela_usd_core_root "")
set(_vela_usd_core_others "")
foreach(prefix IN LISTS _vela_prefixes)
    file(GLOB found LIST_DIRECTORIES true "${prefix}/usd_core-*.dist-info")
    if(NOT found)
        continue()
    endif()
    if(EXISTS "${prefix}/usd_core-${VELA_USD_CORE_VERSION}.dist-info")
        set(_vela_usd_core_root "${prefix}")
        break()
    endif()
    list(APPEND _vela_usd_core_others ${found})
endforeach()
if(NOT _vela_usd_core_root)
    string(REPLACE ";" "\n  " searched "${_vela_prefixes}")
    set(others "")
    if(_vela_usd_core_others)
        string(REPLACE ";" "\n  " others "${_vela_usd_core_others}")
        set(others "Other releases found, which this flavour does not build against:\n  ${others}\n")
    endif()
    message(FATAL_ERROR "vela: no usd-core ${VELA_USD_CORE_VERSION} to link against; searched\n  "
        "${searched}\n${others}Install usd-core==${VELA_USD_CORE_VERSION} into the building Python.")
endif()
set(VELA_PXR_LIBS_DIR "${_vela_usd_core_root}/usd_core.libs")
file(GLOB _vela_usd_ms "${VELA_PXR_LIBS_DIR}/libusd_ms-*.so")
file(GLOB _vela_usd_tbb "${VELA_PXR_LIBS_DIR}/libtbb-*.so.2")
list(LENGTH _vela_usd_ms msCount)
list(LENGTH _vela_usd_tbb tbbCount)
if(NOT msCount EQUAL 1 OR NOT tbbCount EQUAL 1)
    message(FATAL_ERROR "vela: ${VELA_PXR_LIBS_DIR} should hold one libusd_ms-*.so and one "
        "libtbb-*.so.2 (usd-core ${VELA_USD_CORE_VERSION}'s layout); it holds: ${_vela_usd_ms} ${_vela_usd_tbb}")
endif()
message(STATUS "vela: usd-core ${VELA_USD_CORE_VERSION} at ${_vela_usd_core_root}")
# The wheel's version names the usd-core release it depends on
# (pyproject.toml); the two pins must move together.
if(SKBUILD AND NOT SKBUILD_PROJECT_VERSION_FULL MATCHES "\\+usdcore\\.${VELA_USD_CORE_VERSION}$")
    message(FATAL_ERROR "vela: the wheel's version ${SKBUILD_PROJECT_VERSION_FULL} does not name "
        "usd-core ${VELA_USD_CORE_VERSION}, which this build links: pin the same release in "
        "pyproject.toml and cmake/VelaOpenUSD.cmake")
endif()

# Compile definitions of every translation unit that sees OpenUSD's
# headers: usd-core was built with Python support and libstdc++'s new
# string ABI; TBB 2020 warns that its task API is deprecated.
set(_vela_usd_core_definitions
    PXR_PYTHON_SUPPORT_ENABLED TBB_SUPPRESS_DEPRECATED_MESSAGES=1 _GLIBCXX_USE_CXX11_ABI=1)

# The layout check: a translation unit that sees OpenUSD's headers as
# vela's do, compiled, then linked against usd-core's library.
set(_vela_check_source "${CMAKE_CURRENT_LIST_DIR}/usdCoreLayout.cpp")
set(_vela_check_flags
    "-DINCLUDE_DIRECTORIES=${VELA_PXR_INCLUDE_DIR};${VELA_PXR_SPLIT_INCLUDE_DIRS};${Python_INCLUDE_DIRS}")
set(_vela_check_definitions -isystem "${VELA_TBB_INCLUDE_DIR}"
    -DVELA_EXPECTED_DIAGNOSTIC_MGR_SIZE=${VELA_USD_CORE_DIAGNOSTIC_MGR_SIZE})
foreach(definition IN LISTS _vela_usd_core_definitions)
    list(APPEND _vela_check_definitions "-D${definition}")
endforeach()
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
try_compile(_vela_layout_compiles
    SOURCES "${_vela_check_source}"
    NO_CACHE
    CMAKE_FLAGS "${_vela_check_flags}"
    COMPILE_DEFINITIONS ${_vela_check_definitions}
    CXX_STANDARD 17
    OUTPUT_VARIABLE output)
unset(CMAKE_TRY_COMPILE_TARGET_TYPE)
if(NOT _vela_layout_compiles)
    if(output MATCHES "VelaDiagnosticMgrSize<([0-9]+)")
        message(FATAL_ERROR
            "vela: OpenUSD's headers compiled with the TBB headers in\n  ${VELA_TBB_INCLUDE_DIR}\n"
            "give TfDiagnosticMgr ${CMAKE_MATCH_1} bytes; usd-core ${VELA_USD_CORE_VERSION}'s "
            "library has ${VELA_USD_CORE_DIAGNOSTIC_MGR_SIZE}. Those are not the legacy TBB 2020 "
            "headers that usd-core was built with (oneTBB's make it 384), and code built with them "
            "would corrupt memory at run time. Point VELA_TBB_INCLUDE_DIR at tbb-devel 2020.0.133's "
            "include directory, or leave it at its default (third_party/tbb-2020.3/include).")
    endif()
    message(FATAL_ERROR "vela: OpenUSD's headers do not compile for the usd-core flavour:\n${output}")
endif()
try_compile(_vela_layout_links
    SOURCES "${_vela_check_source}"
    NO_CACHE
    CMAKE_FLAGS "${_vela_check_flags}"
    COMPILE_DEFINITIONS ${_vela_check_definitions}
    LINK_LIBRARIES ${_vela_usd_ms} ${_vela_usd_tbb} ${Python_LIBRARIES}
    CXX_STANDARD 17
    OUTPUT_VARIABLE output)
if(NOT _vela_layout_links)
    message(FATAL_ERROR
        "vela: code compiled with the split -dev packages' headers does not link against "
        "${_vela_usd_ms}: the headers are not OpenUSD ${VELA_USD_CORE_VERSION}'s "
        "(their namespace differs from the library's).\n${output}")
endif()
message(STATUS "vela: OpenUSD's headers with ${VELA_TBB_INCLUDE_DIR} match usd-core's library")

# usd-core's two libraries, linked by their sonames, which are their file
# names.
foreach(lib IN ITEMS ms tbb)
    get_filename_component(soname "${_vela_usd_${lib}}" NAME)
    add_library(vela::usd-core-${lib} SHARED IMPORTED)
    set_target_properties(vela::usd-core-${lib} PROPERTIES
        IMPORTED_LOCATION "${_vela_usd_${lib}}"
        IMPORTED_SONAME "${soname}")
endforeach()
# Every pxr:: target is the one library, seen through the split headers
# and the TBB 2020 headers (and Python's, which OpenUSD's headers include
# with Python support).
foreach(component IN LISTS VELA_PXR_COMPONENTS ITEMS work boost-python)
    add_library(pxr::${component} INTERFACE IMPORTED)
    target_link_libraries(pxr::${component} INTERFACE vela::usd-core-ms vela::usd-core-tbb)
    target_include_directories(pxr::${component} SYSTEM INTERFACE
        "${VELA_PXR_INCLUDE_DIR}" ${VELA_PXR_SPLIT_INCLUDE_DIRS} "${VELA_TBB_INCLUDE_DIR}"
        ${Python_INCLUDE_DIRS})
    target_compile_definitions(pxr::${component} INTERFACE ${_vela_usd_core_definitions})
    target_compile_features(pxr::${component} INTERFACE cxx_std_17)
endforeach()
set(VELA_PXR_WHEEL_LIBS_DIR "usd_core.libs")
set(VELA_PXR_INSTALL_RPATH "")
