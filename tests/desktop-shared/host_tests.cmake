# The shared host of the desktop programs (src/desktop-shared: desktop_host and its texts).
vqx_add_test(desktop_host_text_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_texts_test.cpp
  LIBS vqxdesktop_host)

# Against the simulated unit, with the worker on its own thread (real time).
if(TARGET vqxplatform AND TARGET vqxsim_runner)
  vqx_add_test(desktop_host_tests LABEL "integration;realtime" TIMEOUT 180
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/desktop_host_test.cpp
    LIBS vqxdesktop_host vqxplatform vqxsim_runner)
endif()
