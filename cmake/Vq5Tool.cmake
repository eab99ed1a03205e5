# vq5_add_tool(TOOL PROGRAM SOURCE...): one of the six desktop tools in tools/TOOL. The dialog
# sources make the library vq5_TOOL_dlg on the tool's model (vq5_TOOL_model), the tool shell
# and the engine's Qt front; main.cpp makes PROGRAM; tests/ holds the dialog's QtTests.
function(vq5_add_tool tool program)
  set(CMAKE_AUTOMOC ON)
  set(dlg vq5_${tool}_dlg)
  add_library(${dlg} STATIC ${ARGN})
  target_include_directories(${dlg} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${dlg} PUBLIC vq5_${tool}_model vq5_shell_qt vq5_engine_qt Qt6::Widgets)

  add_executable(${program} main.cpp)
  target_link_libraries(${program} PRIVATE ${dlg})

  add_subdirectory(tests)
endfunction()
