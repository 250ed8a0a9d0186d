# The game's command line and environment block, and the folder lock's name.
lomar_add_unit_test(launch_test SOURCES launch_test.cpp LIBS launch_core launcher_core)
if(WIN32)
  target_link_libraries(launch_test PRIVATE shell32)
endif()
