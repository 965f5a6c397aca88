# Writes the file that carries the build stamp, anew at every build, so that
# its __DATE__ and __TIME__ are those of the latest build.
string(TIMESTAMP now "%Y-%m-%d %H:%M:%S")
file(WRITE "${OUT}"
  "// Written by buildtime.cmake at ${now}.\n"
  "extern const char *const buildDateText;\n"
  "extern const char *const buildTimeText;\n"
  "const char *const buildDateText = __DATE__;\n"
  "const char *const buildTimeText = __TIME__;\n")
