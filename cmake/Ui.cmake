# The forms build into velmo_ui; the program is the two libraries plus main().
find_package(Qt6 REQUIRED COMPONENTS Widgets WebEngineWidgets WebChannel)
set(CMAKE_AUTOMOC ON)

add_library(velmo_ui STATIC
  app/MainFormUnit.cpp
)
target_link_libraries(velmo_ui PUBLIC velmo_core Qt6::Widgets Qt6::WebEngineWidgets Qt6::WebChannel)

add_executable(velmo app/main.cpp)
target_link_libraries(velmo PRIVATE velmo_ui)
