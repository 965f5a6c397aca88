# IP assignment through the real window in the lab, one lab per scenario.
if(TARGET orvanta_app)
  add_executable(tst_ipconfiglab ${CMAKE_CURRENT_SOURCE_DIR}/ipconfig.cpp)
  target_link_libraries(tst_ipconfiglab PRIVATE orvanta_app orvanta_testsupport)
  foreach(scenario forceIpIntoHostSubnet ipConfigStatic ipConfigDhcpThenLla refusedInputsSendNothing)
    add_test(NAME lab.ipconfig.${scenario}
             COMMAND ${ORVANTA_LAB} --camsim $<TARGET_FILE:camsim> ${CMAKE_CURRENT_SOURCE_DIR}/ipconfig.lab
                     -- env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:tst_ipconfiglab> ${scenario})
    set_tests_properties(lab.ipconfig.${scenario} PROPERTIES TIMEOUT 120 LABELS lab)
  endforeach()
endif()
