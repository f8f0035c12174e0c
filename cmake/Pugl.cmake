# pugl, the window-system layer under the view layer: its X11 + cairo backend,
# compiled from the sources Debian ships in dpf-source (nothing of it is kept in
# this repository). cairo and X11 are linked dynamically, found by pkg-config.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ZEL_CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(ZEL_X11 REQUIRED IMPORTED_TARGET x11)

set(ZEL_PUGL_DIR /usr/share/dpf/dgl/src/pugl-upstream CACHE PATH
    "pugl sources (Debian package dpf-source)")
set(ZEL_PUGL_SOURCES common.c internal.c x11.c x11_cairo.c)
foreach(file ${ZEL_PUGL_SOURCES} ../include/pugl/pugl.h ../include/pugl/cairo.h)
    if(NOT EXISTS ${ZEL_PUGL_DIR}/src/${file})
        message(FATAL_ERROR "pugl sources not found: ${ZEL_PUGL_DIR}/src/${file} is missing. "
                            "Install the Debian package dpf-source (tools/install-deps.sh) "
                            "or point ZEL_PUGL_DIR at a pugl source tree.")
    endif()
endforeach()
list(TRANSFORM ZEL_PUGL_SOURCES PREPEND ${ZEL_PUGL_DIR}/src/)

add_library(zel_pugl STATIC ${ZEL_PUGL_SOURCES})
target_include_directories(zel_pugl SYSTEM PUBLIC ${ZEL_PUGL_DIR}/include)
target_compile_definitions(zel_pugl PUBLIC PUGL_STATIC PUGL_DISABLE_DEPRECATED)
target_link_libraries(zel_pugl PUBLIC PkgConfig::ZEL_CAIRO PkgConfig::ZEL_X11 m)
