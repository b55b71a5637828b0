# qv_precompile_headers()
# Gives every C++ target of the project a precompiled header of the standard library and the JSON
# library, and of the Qt and GoogleTest headers where the target uses them: most of what a source
# file of this project parses is those headers, and a build from scratch then parses them once per
# kind of target instead of once per file.
#
# Targets are sorted into a few kinds by what they use (Qt Widgets, only Qt Core, no Qt; tests or
# not). Each kind has one header, compiled once in a small target of its own and reused by every
# target of that kind, so the compiler options match: Qt's targets build position-independent code
# and the others do not, and a header is only valid with the options it was compiled with. A file
# whose options still do not match builds correctly all the same: the compiler warns
# (-Winvalid-pch) and reads the headers' text instead. The JSON library needs no option of its
# own, so it goes in every kind's header rather than doubling the kinds: each header is 100-250 MB
# on disk and takes as long to compile as a large source file.
#
# Call it at the end of the top-level CMakeLists.txt, after every folder has made its targets.
# Only under QV_PCH: ccache cannot reuse a compile that reads a precompiled header unless every
# developer sets its sloppiness options, so builds through ccache go without by default.

set(QV_PCH_BASE_HEADERS
  <algorithm> <array> <atomic> <chrono> <cmath> <condition_variable> <cstddef> <cstdint> <cstdio>
  <cstdlib> <cstring> <deque> <filesystem> <fstream> <functional> <limits> <map> <memory> <mutex>
  <optional> <set> <sstream> <string> <string_view> <thread> <unordered_map> <utility> <variant>
  <vector> <nlohmann/json.hpp>)
set(QV_PCH_QT_CORE_HEADERS
  <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QFile> <QFileInfo> <QJsonArray>
  <QJsonDocument> <QJsonObject> <QMap> <QObject> <QPointer> <QSet> <QString> <QStringList>
  <QTemporaryDir> <QTimer> <QUrl>)
set(QV_PCH_QT_WIDGETS_HEADERS
  <QApplication> <QColor> <QComboBox> <QFont> <QImage> <QKeyEvent> <QLabel> <QLineEdit>
  <QPainter> <QPushButton> <QScrollBar> <QVBoxLayout> <QWidget>)
set(QV_PCH_TEST_HEADERS <gtest/gtest.h>)

# Lists the targets made in <dir> and the folders below it.
function(_qv_pch_targets_under dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    _qv_pch_targets_under(${subdir} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Lists the libraries whose headers <target> compiles against: what it links, and what those
# libraries pass on to their users (a private link of a static library passes on only the link).
function(_qv_pch_usage_closure target out)
  get_target_property(pending ${target} LINK_LIBRARIES)
  set(seen)
  while(pending)
    list(POP_FRONT pending library)
    if(NOT library OR library MATCHES "^\\$<" OR library IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${library})
    if(TARGET ${library})
      get_target_property(imported ${library} IMPORTED)
      get_target_property(passed ${library} INTERFACE_LINK_LIBRARIES)
      if(NOT imported AND passed)
        list(APPEND pending ${passed})
      endif()
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Makes the target that compiles the header of one kind, for the others of that kind to reuse.
function(_qv_pch_make_donor kind libraries headers)
  set(source ${PROJECT_BINARY_DIR}/pch/${kind}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "// The precompiled header's own translation unit.\n")
  add_library(qv_pch_${kind} OBJECT ${source})
  target_link_libraries(qv_pch_${kind} PRIVATE ${libraries})
  target_precompile_headers(qv_pch_${kind} PRIVATE ${headers})
endfunction()

function(qv_precompile_headers)
  if(NOT QV_PCH)
    return()
  endif()
  # The folders found these packages for themselves; their targets are not seen from here.
  find_package(Qt6 REQUIRED COMPONENTS Core Widgets)
  _qv_pch_targets_under(${PROJECT_SOURCE_DIR} targets)
  set(kinds)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    set(cxx_sources ${sources})
    list(FILTER cxx_sources INCLUDE REGEX "\\.(cpp|cc|cxx)$")
    if(NOT cxx_sources)
      continue()
    endif()
    # A C source of the target (generated protocol code) would look for a C header of the kind,
    # and so would a unity batch of such sources.
    set(c_sources ${sources})
    list(FILTER c_sources INCLUDE REGEX "\\.c$")
    if(c_sources)
      set_source_files_properties(${c_sources} TARGET_DIRECTORY ${target}
        PROPERTIES SKIP_PRECOMPILE_HEADERS ON SKIP_UNITY_BUILD_INCLUSION ON)
    endif()

    _qv_pch_usage_closure(${target} uses)
    set(kind)
    set(libraries)
    set(headers ${QV_PCH_BASE_HEADERS})
    if("Qt6::Widgets" IN_LIST uses)
      string(APPEND kind widgets)
      list(APPEND libraries Qt6::Widgets)
      list(APPEND headers ${QV_PCH_QT_CORE_HEADERS} ${QV_PCH_QT_WIDGETS_HEADERS})
    elseif(uses MATCHES "(^|;)Qt6::")
      string(APPEND kind core)
      list(APPEND libraries Qt6::Core)
      list(APPEND headers ${QV_PCH_QT_CORE_HEADERS})
    else()
      string(APPEND kind plain)
    endif()
    if("GTest::gtest" IN_LIST uses)
      string(APPEND kind _tests)
      list(APPEND libraries GTest::gtest)
      list(APPEND headers ${QV_PCH_TEST_HEADERS})
    endif()

    if(NOT kind IN_LIST kinds)
      list(APPEND kinds ${kind})
      _qv_pch_make_donor(${kind} "${libraries}" "${headers}")
    endif()
    target_precompile_headers(${target} REUSE_FROM qv_pch_${kind})
  endforeach()
endfunction()
