# LoadOwnPackage in a program that carries a seed package as its resource 101,
# and in one that carries none.
set(package_seed ${PROJECT_SOURCE_DIR}/tests/fuzz/package-seeds/folders-and-case)
set(package_rc ${CMAKE_CURRENT_BINARY_DIR}/package_resource_test.rc)
file(CONFIGURE OUTPUT ${package_rc} CONTENT "101 RCDATA \"@package_seed@\"\n" @ONLY)
set_source_files_properties(${package_rc} PROPERTIES OBJECT_DEPENDS ${package_seed})
lomar_add_unit_test(package_resource_test SOURCES package_resource_test.cpp ${package_rc} LIBS package_shell)
target_compile_definitions(package_resource_test PRIVATE LOMAR_TEST_CARRIES_PACKAGE=1)
lomar_add_unit_test(package_no_resource_test SOURCES package_resource_test.cpp LIBS package_shell)
