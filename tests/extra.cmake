# Additions to the test build that the per-area globs do not cover.
# ferryreg: the tests drive the tool's parser, writer and commands directly
# and also run the built program (found through FERRY_BINARY_DIR).
if(TARGET ferryreg_tests)
  target_link_libraries(ferryreg_tests PRIVATE ferryreg_core)
  if(TARGET ferryreg)
    add_dependencies(ferryreg_tests ferryreg)
  endif()
endif()

# console: the value library, the console's logic and its window.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/console/CMakeLists.txt AND TARGET ferry_console_model)
  add_subdirectory(console)
endif()

# transfer: the throwaway loopback mailbox and sink of scripts/demo, and the
# test against real POP3 and SMTP servers (installed and started by its script).
add_executable(ferry_demo_peers ${CMAKE_CURRENT_SOURCE_DIR}/peers/demo/demo_peers.cpp)
target_link_libraries(ferry_demo_peers PRIVATE ferry_test_support ferry_warnings)
if(TARGET mailferry2 AND TARGET ferryreg)
  add_test(NAME transfer.real_servers
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/integration/real_servers.sh
            $<TARGET_FILE:mailferry2> $<TARGET_FILE:ferryreg>)
  set_tests_properties(transfer.real_servers PROPERTIES LABELS "transfer;integration" SKIP_RETURN_CODE 77
    TIMEOUT 600 RUN_SERIAL TRUE)
endif()

# crash safety: mailferry2 killed with SIGKILL during runs against real Dovecot
# and Postfix (a short run here; the long one by hand, see tests/crash/).
if(TARGET mailferry2 AND TARGET ferryreg)
  add_test(NAME crash.short_kill_runs
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/crash/crash_safety.sh
            $<TARGET_FILE:mailferry2> $<TARGET_FILE:ferryreg> 150 10)
  set_tests_properties(crash.short_kill_runs PROPERTIES LABELS "crash;integration" SKIP_RETURN_CODE 77
    TIMEOUT 600 RUN_SERIAL TRUE)
endif()

# load: the many-mailbox POP3 server and checking SMTP sink of the load test
# (tests/load/load_run.sh; the long run by hand with bench/load_test.sh).
if(UNIX)
  add_executable(ferry_load_peers ${CMAKE_CURRENT_SOURCE_DIR}/peers/load/load_peers.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/peers/load/load_mailboxes.cpp)
  target_link_libraries(ferry_load_peers PRIVATE ferry_platform ferry_warnings)
endif()
if(UNIX AND TARGET mailferry2 AND TARGET ferryreg)
  add_test(NAME load.short_run
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/load/load_run.sh
            $<TARGET_FILE:mailferry2> $<TARGET_FILE:ferryreg> $<TARGET_FILE:ferry_load_peers> 45 10 100)
  set_tests_properties(load.short_run PROPERTIES LABELS "load;integration" TIMEOUT 300 RUN_SERIAL TRUE)
endif()
