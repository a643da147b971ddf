// The dependency of the module loader's test library.
extern "C" __attribute__((visibility("default"))) int QbDependencyOnly() {
  return 7;
}
