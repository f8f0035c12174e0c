# Collects the C++ sources of the given folders (not recursive), so adding a file
# to a folder needs no edit here.
function(zel_glob out)
    set(files)
    foreach(dir ${ARGN})
        file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
        list(APPEND files ${found})
    endforeach()
    set(${out} ${files} PARENT_SCOPE)
endfunction()

# A static library of the given sources; an area that has no sources yet becomes
# an interface library so the rest still configures.
function(zel_library name)
    if(ARGN)
        add_library(${name} STATIC ${ARGN})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_compile_options(${name} PRIVATE ${ZEL_WARNINGS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    endif()
endfunction()
