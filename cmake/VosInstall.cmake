# What `cmake --install <build> --prefix P` puts under P:
#   bin/                 the programs, gphdump and tulmbuild
#   lib/<front end>/     the box templates of the front ends (VOSHOME=P)
#   share/tulm/cfg/      the analyser's argument macros and usage texts
#                        (TULMPATH=P/share/tulm)
#   lib/tulm/            the engine, support and output-file libraries and
#                        the engine's main object, which tulmbuild links into
#                        an analyser
#   include/tulm/        the headers that the generated code includes
# Each item is installed when its subsystem is part of the build (VOS_DIRS).

set(VOS_PROGRAMS trelmik dlbacktrack cosweep velcheck vorga progcast statecast autocast flatnet
    tulc cyrtal movrane pelwick gphdump)
foreach(prog ${VOS_PROGRAMS})
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION bin)
  endif()
endforeach()

if(TARGET progcast OR TARGET statecast OR TARGET autocast)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/frontends/templates/lib/ DESTINATION lib)
endif()

if(TARGET analyser_support)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/analyser/cfg DESTINATION ${TULM_INSTALL_DIR})
  install(TARGETS analyser_support ARCHIVE DESTINATION ${TULM_LIB_DIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/analyser/support/ DESTINATION ${TULM_INCLUDE_DIR}/support
          FILES_MATCHING PATTERN "*.h" PATTERN "tests" EXCLUDE)
endif()

if(TARGET analyser_engine AND TARGET tulc)
  install(TARGETS analyser_engine outfile ARCHIVE DESTINATION ${TULM_LIB_DIR})
  install(FILES $<TARGET_OBJECTS:analyser_engine_main> DESTINATION ${TULM_LIB_DIR} RENAME tulmmain.o)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/analyser/engine/ DESTINATION ${TULM_INCLUDE_DIR}/engine
          FILES_MATCHING PATTERN "*.h" PATTERN "tests" EXCLUDE)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/analyser/engine/tulmbuild.installed DESTINATION bin RENAME tulmbuild)
endif()

# The installation, run from its prefix alone.
if(VOS_TESTS AND TARGET progcast AND TARGET flatnet AND TARGET trelmik AND TARGET dlbacktrack
   AND TARGET tulc AND TARGET analyser_engine AND TARGET gphdump)
  add_test(NAME install_roads
    COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  set_tests_properties(install_roads PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=${VOS_TEST_ASAN_OPTIONS}" TIMEOUT 600 COST 10)
endif()
