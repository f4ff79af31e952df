# Windows and messages over SDL2 (koru_user), and the runtime start-up that
# calls WinMain (koru_start).
find_package(SDL2 CONFIG QUIET)
if(TARGET SDL2::SDL2)
  set(KORU_SDL2 SDL2::SDL2)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
  set(KORU_SDL2 PkgConfig::SDL2)
endif()

add_library(koru_user STATIC
  ${CMAKE_CURRENT_LIST_DIR}/desktop_scale.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_scale_x11.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/paint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/present.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/user_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/video.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_class.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_manager.cpp)
target_include_directories(koru_user PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# X11: the window manager is asked directly (window_manager.cpp), and the
# display-loss handler goes in (video.cpp); SDL loads the same libX11.
find_package(X11 REQUIRED)
target_link_libraries(koru_user PUBLIC koru_win32_api koru_kernel koru_gdi ${KORU_SDL2}
                      PRIVATE X11::X11)

add_library(koru_start STATIC ${CMAKE_CURRENT_LIST_DIR}/start.cpp)
target_link_libraries(koru_start PUBLIC koru_user)
