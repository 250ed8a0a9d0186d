# The packer's executable reader and writer and its icon reader, over images built in the tests.
lomar_add_unit_test(pack_pe_test
  SOURCES pack_reader_test.cpp pack_writer_test.cpp pack_icon_test.cpp
  LIBS pack_pe)

# The packer's rules for game file names, its exclude patterns, its JSON and its comparison of packages.
lomar_add_unit_test(pack_test
  SOURCES pack_name_rules_test.cpp pack_exclude_test.cpp pack_json_test.cpp pack_diff_test.cpp
  LIBS pack_tool)
