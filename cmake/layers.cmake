# The program's layers: each is a folder of src/ and a library vorda_<layer>, and builds on
# the layers named after it (and, through them, on the layers those build on). A file of a
# layer may include (as "<layer>/<file>.h") its own layer and every layer it builds on,
# directly or not; nothing else of src/. src/CMakeLists.txt links each layer's library to
# the layers it builds on, and the layering check (cmake/check_layers.cmake, a test of
# every build) reports any include that runs upward or sideways. A new layer is one line
# here, and its name after each layer that builds on it.
set(VORDA_LAYERS
    "protocol:"
    "settings: protocol"
    "engine: settings"
    "orders: settings"
    "controller: engine orders"
    "win32: controller"
    "posix: engine"
)

# The layers `layer` builds on directly, into `out` (a list; empty for an unknown layer).
function(vorda_layer_builds_on layer out)
    set(below "")
    foreach(entry ${VORDA_LAYERS})
        if(entry MATCHES "^${layer}:(.*)$")
            string(REGEX MATCHALL "[a-z0-9_]+" below "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    set(${out} ${below} PARENT_SCOPE)
endfunction()

# Every layer `layer` builds on, directly or not, into `out`.
function(vorda_layer_sees layer out)
    vorda_layer_builds_on(${layer} todo)
    set(seen "")
    while(todo)
        list(POP_FRONT todo next)
        if(NOT next IN_LIST seen)
            list(APPEND seen ${next})
            vorda_layer_builds_on(${next} more)
            list(APPEND todo ${more})
        endif()
    endwhile()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The names of all layers, into `out`.
function(vorda_layer_names out)
    set(names "")
    foreach(entry ${VORDA_LAYERS})
        string(REGEX REPLACE ":.*" "" name "${entry}")
        list(APPEND names ${name})
    endforeach()
    set(${out} ${names} PARENT_SCOPE)
endfunction()
