/* A library that the fake client needing it calls at load time, so that the linker keeps it as a
 * needed library. */
int fake_dependency_value(void) {
  return 42;
}
