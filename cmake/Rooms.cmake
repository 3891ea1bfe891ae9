# zel_add_room(TARGET DIR SOURCES source... LINKS room...): one room of the engine, a static library.
# Its headers are found as "DIR/name.h" through a view of the source tree that holds DIR alone; a room
# sees the views of the rooms it links, and no other, so an include of a room above it fails to build.
function(zel_add_room target dir)
    cmake_parse_arguments(ROOM "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${target} STATIC ${ROOM_SOURCES})
    set(view "${CMAKE_BINARY_DIR}/rooms/${target}")
    get_filename_component(parent "${view}/${dir}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    if(NOT EXISTS "${view}/${dir}")
        file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${dir}" "${view}/${dir}" SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC "${view}")
    target_link_libraries(${target} PUBLIC ${ROOM_LINKS})
endfunction()
