// A DLL that loads but is not a hook: it has none of the hook's exports.
extern "C" __declspec(dllexport) int NotAHookFunction() {
    return 0;
}
