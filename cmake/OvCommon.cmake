# Shared compile settings: every target of the project links ov_common_cfg.
add_library(ov_common_cfg INTERFACE)
target_compile_features(ov_common_cfg INTERFACE cxx_std_17)
target_compile_options(ov_common_cfg INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(ov_common_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS
    OV_APPLICATION_VERSION="${PROJECT_VERSION}")
if(OV_WERROR)
    target_compile_options(ov_common_cfg INTERFACE -Werror)
endif()
if(OV_SANITIZE)
    target_compile_options(ov_common_cfg INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(ov_common_cfg INTERFACE -fsanitize=address,undefined)
endif()
if(OV_FUZZ)
    # Coverage for libFuzzer in every library; only the fuzz targets link its driver.
    target_compile_options(ov_common_cfg INTERFACE -fsanitize=fuzzer-no-link,address,undefined
        -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(ov_common_cfg INTERFACE -fsanitize=address,undefined)
endif()
if(OV_TSAN)
    target_compile_options(ov_common_cfg INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(ov_common_cfg INTERFACE -fsanitize=thread)
endif()

# ov_add_library(name SOURCES ... DEPENDS ...): one static library per src/ folder.
function(ov_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ov_common_cfg ${ARG_DEPENDS})
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
endfunction()

# ov_add_test(name SOURCES ... DEPENDS ... [LABELS ...]): one QtTest executable per component.
function(ov_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPENDS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ov_common_cfg Qt6::Test ${ARG_DEPENDS})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_compile_definitions(${name} PRIVATE
        OV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" OV_BINARY_DIR="${PROJECT_BINARY_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;OV_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        LABELS "${ARG_LABELS}")
endfunction()
