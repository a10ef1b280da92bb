# The player double: a lumv.dll that reports what it received and returns a
# result chosen by the test.
lumv_add_player_library(testplayer tools/testplayer/testplayer.cpp)
target_include_directories(testplayer PRIVATE src)
