# SPDX-License-Identifier: GPL-3.0-or-later
# The history chart widget, a library of its own so that tests and benchmarks link it alone.
add_library(skyvarn_chart STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ChartCsv.cpp ${CMAKE_CURRENT_LIST_DIR}/ChartCsv.h
  ${CMAKE_CURRENT_LIST_DIR}/ChartSeries.cpp ${CMAKE_CURRENT_LIST_DIR}/ChartSeries.h
  ${CMAKE_CURRENT_LIST_DIR}/HistoryChart.cpp ${CMAKE_CURRENT_LIST_DIR}/HistoryChart.h
)
target_include_directories(skyvarn_chart PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(skyvarn_chart PUBLIC skyvarn_common Qt6::Widgets)
