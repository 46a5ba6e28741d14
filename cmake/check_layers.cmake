# The layering check: every include of a layer ("<layer>/<file>.h") in a file of src/<layer>/
# names its own layer or one it builds on (cmake/layers.cmake); every folder of src/ is a
# layer there. Reports each include that runs upward or sideways and fails when there is any.
#   cmake -DSOURCE_DIR=<src folder> -P cmake/check_layers.cmake
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
if(NOT IS_DIRECTORY "${SOURCE_DIR}")
    message(FATAL_ERROR "layering: no folder SOURCE_DIR=${SOURCE_DIR}")
endif()

vorda_layer_names(layers)
set(problems 0)
file(GLOB folders RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(folder ${folders})
    if(IS_DIRECTORY ${SOURCE_DIR}/${folder} AND NOT folder IN_LIST layers)
        message("layering: ${folder}/ is not a layer of cmake/layers.cmake")
        math(EXPR problems "${problems} + 1")
    endif()
endforeach()

foreach(layer ${layers})
    vorda_layer_sees(${layer} seen)
    file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${layer}/*.h
         ${SOURCE_DIR}/${layer}/*.cpp ${SOURCE_DIR}/${layer}/*.rc)
    list(SORT files)
    foreach(file ${files})
        file(STRINGS ${SOURCE_DIR}/${file} includes
             REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][a-z0-9_]+/")
        foreach(line ${includes})
            string(REGEX REPLACE "^[^\"<]*[\"<]([a-z0-9_]+)/[^\">]*[\">].*$" "\\1" used "${line}")
            string(REGEX REPLACE "^[^\"<]*([\"<][^\">]*[\">]).*$" "\\1" what "${line}")
            if(used IN_LIST layers AND NOT used STREQUAL layer AND NOT used IN_LIST seen)
                string(REPLACE ";" ", " sees "${seen}")
                if(NOT sees)
                    set(sees "no other layer")
                endif()
                message("layering: ${file} includes ${what}: ${layer} sees only ${sees}")
                math(EXPR problems "${problems} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

if(problems GREATER 0)
    message(FATAL_ERROR "layering: ${problems} out of place")
endif()
message("layering: every include keeps to its layer")
