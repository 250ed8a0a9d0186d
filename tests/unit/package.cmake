# The package format, loader, path rules and writer.
lomar_add_unit_test(package_test
  SOURCES
    package_cursor_test.cpp
    package_entry_path_test.cpp
    package_loader_test.cpp
    package_writer_test.cpp
  LIBS package_core)
