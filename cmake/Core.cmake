# Core source files all build into velmo_core: everything that needs no Qt, so that the logic
# builds and is tested without a window.
add_library(velmo_core STATIC
  app/BottleCommands.cpp
  app/ArchiveCommands.cpp
  app/CommandLine.cpp
  app/LogView.cpp
  app/DroppedFile.cpp
  app/StartPage.cpp
  app/WindowPlacement.cpp
  archive/Archive.cpp
  archive/Query.cpp
  archive/QuerySql.cpp
  archive/SearchText.cpp
  archive/Sync.cpp
  archive/Import.cpp
  archive/Export.cpp
  app/Configuration.cpp
  app/OutsideBrowser.cpp
  app/ZoomSteps.cpp
  log/BottleServer.cpp
  ghost/DirectSstpSend.cpp
  ghost/FmoRoute.cpp
  ghost/HeadValue.cpp
  ghost/NinixRoute.cpp
  ghost/SakuraSeeker.cpp
  ghost/SstpWire.cpp
  ghost/TcpSstpRoute.cpp
  log/HttpClient.cpp
  log/HttpThread.cpp
  log/LogRequest.cpp
  log/LogReader.cpp
  log/LogText.cpp
  log/LogWriter.cpp
  log/MessageList.cpp
  platform/DateTime.cpp
  platform/AppFolders.cpp
  platform/DebugOutput.cpp
  platform/Encoding.cpp
  platform/Errors.cpp
  platform/FileIO.cpp
  platform/IniFile.cpp
  platform/MessageBox.cpp
  platform/NamedLock.cpp
  platform/Poll.cpp
  platform/ProgramFolder.cpp
  platform/QueueSynchronizer.cpp
  platform/SharedMemory.cpp
  platform/SstpFolder.cpp
  platform/StreamSocket.cpp
  platform/StrUtils.cpp
  platform/Termination.cpp
  platform/Window.cpp
  render/Bitmap.cpp
  render/CommandLinks.cpp
  render/MessageHtml.cpp
  render/PageWriter.cpp
  render/Plugins.cpp
  render/SppList.cpp
  render/SsParser.cpp
  render/Surfaces.cpp
)
# The generated Version.h sits in the build tree, included as "Version.h".
configure_file(${PROJECT_SOURCE_DIR}/cmake/Version.h.in ${PROJECT_BINARY_DIR}/generated/Version.h
  @ONLY)
target_include_directories(velmo_core PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
find_package(CURL REQUIRED)
find_package(SQLiteCpp REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(UTF8PROC REQUIRED IMPORTED_TARGET libutf8proc)
target_link_libraries(velmo_core PUBLIC ${CMAKE_DL_LIBS} CURL::libcurl SQLiteCpp sqlite3
  PkgConfig::UTF8PROC nlohmann_json::nlohmann_json)
