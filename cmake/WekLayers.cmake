# wek_layer(<target> DIR <dir> [QT] [DEPS <targets>...] [EXCLUDE <regex>])
#
# One static library per layer folder, made of the folder's *.cpp files (a new
# unit is picked up at the next configure). Core layers get no Qt: their headers
# are not on the include path, so an include of a Qt header fails to compile.
function(wek_layer target)
    cmake_parse_arguments(L "QT" "DIR;EXCLUDE" "DEPS;SOURCES" ${ARGN})
    file(GLOB srcs CONFIGURE_DEPENDS ${L_DIR}/*.cpp)
    if(L_EXCLUDE)
        list(FILTER srcs EXCLUDE REGEX "${L_EXCLUDE}")
    endif()
    list(APPEND srcs ${L_SOURCES})
    if(NOT srcs)
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${L_DIR} ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
        target_link_libraries(${target} INTERFACE ${L_DEPS})
        return()
    endif()
    file(GLOB hdrs CONFIGURE_DEPENDS ${L_DIR}/*.h)
    add_library(${target} STATIC ${srcs} ${hdrs})
    target_include_directories(${target} PUBLIC ${L_DIR} ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${target} PUBLIC ${L_DEPS} Threads::Threads)
    wek_warnings(${target})
    if(NOT L_QT)
        set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
    endif()
endfunction()

function(wek_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # g++ 12 at -O3 reports -Wrestrict inside std::string's own operator+
    # (a known false positive of that compiler); it must not fail a Release build.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()
