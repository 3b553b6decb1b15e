# The version check, a small library of its own so that the main window only links it.
add_library(tunora_versioncheck STATIC
  ${CMAKE_CURRENT_LIST_DIR}/versioncheck.h
  ${CMAKE_CURRENT_LIST_DIR}/versioncheck.cpp)
target_include_directories(tunora_versioncheck PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(tunora_versioncheck PUBLIC tunora_common tunora_client Qt6::Widgets Qt6::Network)
