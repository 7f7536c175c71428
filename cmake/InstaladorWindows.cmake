# The Windows installer (Windows build only): bilhetor-<version>-setup.exe in
# the build folder, made by NSIS's makensis from
# tools/instalador-windows/bilhetor.nsi. The files it packs are staged first
# in ${PROJECT_BINARY_DIR}/instalador: the programs stripped (the build keeps
# its debugging symbols, the shop does not need them) and the examples with
# CRLF line ends, as Windows' text and INI files have.

find_program(BILHETOR_MAKENSIS makensis)
if(NOT BILHETOR_MAKENSIS)
  message(FATAL_ERROR "makensis was not found: the Windows installer is built with NSIS "
                      "(Debian: apt install nsis), or set BILHETOR_MAKENSIS to its path")
endif()

if(CMAKE_STRIP)
  set(BILHETOR_STRIP ${CMAKE_STRIP})
else()
  find_program(BILHETOR_STRIP x86_64-w64-mingw32-strip REQUIRED)
endif()

set(BILHETOR_INSTALADOR_PASTA ${PROJECT_BINARY_DIR}/instalador)
set(BILHETOR_INSTALADOR ${PROJECT_BINARY_DIR}/bilhetor-${PROJECT_VERSION}-setup.exe)
file(MAKE_DIRECTORY ${BILHETOR_INSTALADOR_PASTA})

# Text files as Windows expects them: CRLF line ends. Written at configure
# time (a change to a source file reconfigures), and only when the text
# changed, so that makensis does not run again for nothing.
function(bilhetor_instalador_texto origem)
  get_filename_component(nome ${origem} NAME)
  file(READ ${origem} texto)
  string(REPLACE "\r\n" "\n" texto "${texto}")
  string(REPLACE "\n" "\r\n" texto "${texto}")
  set(destino ${BILHETOR_INSTALADOR_PASTA}/${nome})
  # (Compared by hash: file(READ) would drop the CRs of the staged copy.)
  string(SHA256 novo "${texto}")
  set(anterior "")
  if(EXISTS ${destino})
    file(SHA256 ${destino} anterior)
  endif()
  if(NOT novo STREQUAL anterior)
    file(WRITE ${destino} "${texto}")
  endif()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${origem})
endfunction()

# Called at the end of the top-level CMakeLists, when every target of the
# build exists.
function(bilhetor_instalador_windows)
  set(pasta ${BILHETOR_INSTALADOR_PASTA})
  set(arquivos)

  foreach(alvo bilhetor bilhetorw bilhetor-print bilhetor-janela)
    set(destino ${pasta}/$<TARGET_FILE_NAME:${alvo}>)
    add_custom_command(OUTPUT ${pasta}/${alvo}.stripped
      COMMAND ${BILHETOR_STRIP} -o ${destino} $<TARGET_FILE:${alvo}>
      COMMAND ${CMAKE_COMMAND} -E touch ${pasta}/${alvo}.stripped
      DEPENDS ${alvo}
      COMMENT "Stripping ${alvo} for the installer"
      VERBATIM)
    list(APPEND arquivos ${pasta}/${alvo}.stripped)
  endforeach()

  foreach(texto packaging/exemplos/sys.txt packaging/exemplos/banco.txt packaging/exemplos/bilhetor.ini
                sql/schema.sql sql/sample-data.sql)
    bilhetor_instalador_texto(${PROJECT_SOURCE_DIR}/${texto})
    get_filename_component(nome ${texto} NAME)
    list(APPEND arquivos ${pasta}/${nome})
  endforeach()

  configure_file(${PROJECT_SOURCE_DIR}/share/Som.wav ${pasta}/Som.wav COPYONLY)
  list(APPEND arquivos ${pasta}/Som.wav)
  configure_file(${PROJECT_SOURCE_DIR}/share/bilhetor.ico ${pasta}/bilhetor.ico COPYONLY)
  list(APPEND arquivos ${pasta}/bilhetor.ico)

  set(script ${PROJECT_SOURCE_DIR}/tools/instalador-windows/bilhetor.nsi)
  add_custom_command(OUTPUT ${BILHETOR_INSTALADOR}
    COMMAND ${BILHETOR_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8 -DVERSAO=${PROJECT_VERSION}
            -DPASTA=${pasta} -DSAIDA=${BILHETOR_INSTALADOR} ${script}
    DEPENDS ${script} ${arquivos}
    COMMENT "Building the Windows installer bilhetor-${PROJECT_VERSION}-setup.exe"
    VERBATIM)
  add_custom_target(bilhetor_instalador ALL DEPENDS ${BILHETOR_INSTALADOR})
endfunction()

cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL bilhetor_instalador_windows)
