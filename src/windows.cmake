# The windows of the tool and the composition root that puts them together with the protocol side.
add_library(dosaris_windows STATIC
  src/pump/main_window.cpp
  src/pump/page_display.cpp
  src/service/service_tool.cpp
  src/service/secondary_windows.cpp
  src/installer/installer.cpp
  src/diagnostics/diagnostic_windows.cpp
  src/app/tool_application.cpp
  src/app/reply_host.cpp
)
target_include_directories(dosaris_windows PUBLIC
  src/pump src/service src/installer src/diagnostics src/app)
target_link_libraries(dosaris_windows PUBLIC dosaris_app dosaris_pump_core dosaris_sim dosaris_comm Qt6::Widgets)

add_executable(dosaris-service-tool src/app/main.cpp)
target_link_libraries(dosaris-service-tool PRIVATE dosaris_windows)
