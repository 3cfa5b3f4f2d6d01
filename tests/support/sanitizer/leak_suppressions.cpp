// Allocations that fontconfig, GLib, Pango, HarfBuzz, GTK, GDK, GIO and ATK keep for the life of
// the process (caches and type registrations) and never free; they are not
// ours to release. Linked into every test program.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libpango-1.0.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libpangocairo-1.0.so\n"
         "leak:libharfbuzz.so\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libatk-1.0.so\n";
}
