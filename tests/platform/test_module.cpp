// A small library for the module loader's tests: one entry point of its own, and one that only
// its dependency defines.
extern "C" __attribute__((visibility("default"))) int QbTestAnswer() {
  return 42;
}
extern "C" __attribute__((visibility("default"))) int QbDependencyOnly();
extern "C" __attribute__((visibility("default"))) int QbTestCallsDependency() {
  return QbDependencyOnly() + 1;
}
