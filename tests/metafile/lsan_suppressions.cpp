// Fontconfig keeps its configuration and cairo its font faces for the life of the
// process, behind pointers stored as offsets that the leak checker cannot follow.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
