# Benchmarks of the colour converters against libyuv.
