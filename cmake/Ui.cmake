# The forms build into velmo_ui; the program is the two libraries plus main().
find_package(Qt6 REQUIRED COMPONENTS Widgets WebEngineWidgets WebChannel)
set(CMAKE_AUTOMOC ON)

add_library(velmo_ui STATIC
  app/Application.cpp
  app/BrowserPage.cpp
  app/FindBar.cpp
  app/LinkHook.cpp
  app/MainFormUnit.cpp
  app/PageColorScheme.cpp
  app/SearchBar.cpp
  app/QtMessageBox.cpp
  app/QtOpenDialog.cpp
  app/QtOutsideBrowser.cpp
  platform/QtText.cpp
  app/QtTranslations.cpp
  app/SettingFormUnit.cpp
  app/ViewRunner.cpp
  log/LogDownFormUnit.cpp
  render/ProgressWindow.cpp
)
target_link_libraries(velmo_ui PUBLIC velmo_core Qt6::Widgets Qt6::WebEngineWidgets Qt6::WebChannel)
# The window's icon, built in for when the desktop's icon theme has none (a run from the build).
qt_add_resources(velmo_ui velmo_icons PREFIX /velmo BASE ${PROJECT_SOURCE_DIR}/packaging
  FILES ${PROJECT_SOURCE_DIR}/packaging/velmo-48.png ${PROJECT_SOURCE_DIR}/packaging/velmo-256.png)

add_executable(velmo app/main.cpp)
# The program folder holds the configuration file and the data files, so the program gets a
# folder of its own.
set_target_properties(velmo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_link_libraries(velmo PRIVATE velmo_ui)

# Installation data (pattern files, sample log, style sheet, ...) lives in the program folder.
# The demo ghosts (drawn for the demo) go beside it too, for the shipped surface plug-in.
file(GLOB VELMO_DATA_FILES LIST_DIRECTORIES false CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*)
file(GLOB_RECURSE VELMO_DEMO_GHOSTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/demo-ghosts/*)
add_custom_target(velmo_data ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELMO_DATA_FILES} ${CMAKE_BINARY_DIR}/bin/
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data/demo-ghosts ${CMAKE_BINARY_DIR}/bin/demo-ghosts
  DEPENDS ${VELMO_DATA_FILES} ${VELMO_DEMO_GHOSTS}
  COMMENT "Copying data files into the program folder")
