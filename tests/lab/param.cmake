# The parameter writer through the real window in the lab (three cameras on
# one segment, see param-lab.sh). About half a minute.
if(TARGET orvanta_app)
  add_executable(tst_paramlab ${CMAKE_CURRENT_SOURCE_DIR}/param_lab.cpp)
  target_link_libraries(tst_paramlab PRIVATE orvanta_app orvanta_testsupport)
  add_test(NAME lab.param
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/param-lab.sh ${ORVANTA_LAB} $<TARGET_FILE:camsim>
                   $<TARGET_FILE:tst_paramlab>)
  set_tests_properties(lab.param PROPERTIES TIMEOUT 180 LABELS lab)
endif()
