# The bitstream programmer through the real window in the lab: one lab per
# scenario, so each stays well under a minute.
if(TARGET orvanta_app)
  set(ORVANTA_BITSTREAM_LEAK_ENV_ARGS ASAN_OPTIONS=fast_unwind_on_malloc=0
      LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/bitstream/offscreen-leaks.supp)
  add_executable(tst_bitstreamlab ${PROJECT_SOURCE_DIR}/tests/bitstream/tst_bitstreamlab.cpp)
  target_link_libraries(tst_bitstreamlab PRIVATE orvanta_app orvanta_testsupport)
  foreach(scenario success doneWithoutReadBack verifyError stopsAnswering)
    add_test(NAME lab.bitstream.${scenario}
             COMMAND ${ORVANTA_LAB} --camsim $<TARGET_FILE:camsim>
                     ${CMAKE_CURRENT_SOURCE_DIR}/bitstream.lab
                     -- env QT_QPA_PLATFORM=offscreen ${ORVANTA_BITSTREAM_LEAK_ENV_ARGS}
                     $<TARGET_FILE:tst_bitstreamlab> ${scenario})
    set_tests_properties(lab.bitstream.${scenario} PROPERTIES TIMEOUT 120 LABELS lab)
  endforeach()
endif()
