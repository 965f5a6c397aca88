# Discovery at scale through the real window (discovery-many.sh makes the labs).
if(TARGET orvanta_app)
  add_executable(tst_discoverymany ${CMAKE_CURRENT_SOURCE_DIR}/discovery_many.cpp)
  target_link_libraries(tst_discoverymany PRIVATE orvanta_app Qt::Test)
  foreach(case nics fleet bench)
    set(name lab.discovery.${case})
    if(case STREQUAL bench)
      set(name lab.discovery.bench_nics)
    endif()
    add_test(NAME ${name}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/discovery-many.sh ${ORVANTA_LAB} $<TARGET_FILE:camsim>
                     $<TARGET_FILE:tst_discoverymany> ${case})
    set_tests_properties(${name} PROPERTIES TIMEOUT 180 LABELS lab)
  endforeach()
  set_tests_properties(lab.discovery.bench_nics PROPERTIES LABELS "lab;benchmark")
endif()
