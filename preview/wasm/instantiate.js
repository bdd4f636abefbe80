// Runs inside the module's factory, before the loader. Compiling the
// WebAssembly is most of the cost of a new instance, and every session needs
// a new instance (the plug-in's statics start afresh only there): the first
// factory call compiles the embedded binary and leaves the compiled module in
// Module.compiledWasm; a factory call handed that module only instantiates it.
Module['instantiateWasm'] = function (imports, receiveInstance) {
    var compiled = Module['compiledWasm'] ||
            WebAssembly.compile(tryParseAsDataURI(wasmBinaryFile));
    Promise.resolve(compiled).then(function (module) {
        Module['compiledWasm'] = module;
        return WebAssembly.instantiate(module, imports);
    }).then(function (instance) {
        receiveInstance(instance);
    }, function (reason) {
        readyPromiseReject(reason);
    });
    return {};
};
