# The bitstream programmer through the real window in the lab: one lab per
# scenario, so each stays well under a minute.
if(TARGET orvanta_app)
  add_executable(tst_bitstreamlab ${PROJECT_SOURCE_DIR}/tests/bitstream/tst_bitstreamlab.cpp)
  target_link_libraries(tst_bitstreamlab PRIVATE orvanta_app orvanta_testsupport)
  foreach(scenario success doneWithoutReadBack verifyError stopsAnswering)
    add_test(NAME lab.bitstream.${scenario}
             COMMAND ${ORVANTA_LAB} --camsim $<TARGET_FILE:camsim>
                     ${CMAKE_CURRENT_SOURCE_DIR}/bitstream.lab
                     -- env QT_QPA_PLATFORM=offscreen
                     $<TARGET_FILE:tst_bitstreamlab> ${scenario})
    set_tests_properties(lab.bitstream.${scenario} PROPERTIES TIMEOUT 120 LABELS lab)
  endforeach()
endif()
