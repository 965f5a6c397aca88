# Discovery through the real window in the lab: four entries over two NICs.
if(TARGET orvanta_app)
  set(ORVANTA_APP_LAB_ENV env QT_QPA_PLATFORM=offscreen)
  add_executable(tst_discoverylab ${CMAKE_CURRENT_SOURCE_DIR}/discovery.cpp)
  target_link_libraries(tst_discoverylab PRIVATE orvanta_app orvanta_testsupport)
  add_test(NAME lab.discovery
           COMMAND ${ORVANTA_LAB} --camsim $<TARGET_FILE:camsim> ${CMAKE_CURRENT_SOURCE_DIR}/discovery.lab
                   -- ${ORVANTA_APP_LAB_ENV} $<TARGET_FILE:tst_discoverylab> fourEntriesOverTwoInterfaces)
  set_tests_properties(lab.discovery PROPERTIES TIMEOUT 120 LABELS lab)

  # One discovery per socket against its 500 ms floor: figures only.
  add_test(NAME lab.discovery.bench
           COMMAND ${ORVANTA_LAB} --camsim $<TARGET_FILE:camsim> ${CMAKE_CURRENT_SOURCE_DIR}/discovery.lab
                   -- ${ORVANTA_APP_LAB_ENV} BENCH_REPEATS=3 $<TARGET_FILE:tst_discoverylab>
                   benchDiscoveryPerSocket)
  set_tests_properties(lab.discovery.bench PROPERTIES TIMEOUT 120 LABELS "lab;benchmark")
endif()
