# The warnings every target of ours is built with; TESSALY_WERROR (CI) makes
# them errors. Program code (strict) also gives up Qt's implicit conversions:
# a QString made from a char * guesses its encoding, and a connect that narrows
# an argument loses it silently.
function(tessaly_warnings target)
    cmake_parse_arguments(ARG "STRICT" "" "" ${ARGN})
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TESSALY_WERROR}>:-Werror>)
    if(ARG_STRICT)
        target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII
                                                     QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
    endif()
endfunction()

# One static library per source folder. The sources are picked up by glob so
# that adding a class means adding its two files, nothing else.
function(tessaly_add_library name)
    cmake_parse_arguments(ARG "" "" "DEPENDS;RESOURCES" ${ARGN})
    file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT _sources)
        return()
    endif()
    file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    # A folder below that has no sources yet has no target either.
    set(_deps "")
    foreach(_dep IN LISTS ARG_DEPENDS)
        if(TARGET ${_dep} OR _dep MATCHES "::")
            list(APPEND _deps ${_dep})
        endif()
    endforeach()
    add_library(${name} STATIC ${_sources} ${_headers} ${ARG_RESOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${_deps})
    tessaly_warnings(${name} STRICT)
endfunction()

# Every tests/<folder>/tst_<Class>.cpp becomes one executable and one ctest test.
function(tessaly_add_tests folder)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/tst_*.cpp)
    foreach(_src IN LISTS _tests)
        get_filename_component(_name ${_src} NAME_WE)
        add_executable(${_name} ${_src})
        target_link_libraries(${_name} PRIVATE tessaly_test_support ${ARG_LIBS})
        tessaly_warnings(${_name})
        add_test(NAME ${folder}/${_name} COMMAND ${_name})
        set_tests_properties(${folder}/${_name} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
    endforeach()
endfunction()
