!KORVEX archive 3
PBC=ON
