// A folder that is no layer.
