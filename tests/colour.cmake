# Test executables of the colour converters (tests/codec/...).
