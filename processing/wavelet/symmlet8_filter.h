#ifndef TORVA_PROCESSING_WAVELET_SYMMLET8_FILTER_H
#define TORVA_PROCESSING_WAVELET_SYMMLET8_FILTER_H

// The 8-tap Symmlet filter, shared by the plain list operations and every
// vector width of the kernels. No includes: the kernels built for wider
// vectors see nothing but this table and their own code.

namespace symmlet8 {

// Daubechies' least-asymmetric filter with 4 vanishing moments, each value the
// single-precision number nearest to the published coefficient (low-pass).
constexpr double kLow[8] = {0.03222310170531273,   -0.01260396745055914, -0.09921954572200775,
                            0.29785779118537903,   0.8037387728691101,   0.4976186752319336,
                            -0.029635528102517128, -0.0757657140493393};
// High-pass: kHigh[k] = (-1)^(k+1) * kLow[7-k].
constexpr double kHigh[8] = {0.0757657140493393,  -0.029635528102517128, -0.4976186752319336,
                             0.8037387728691101,  -0.29785779118537903,  -0.09921954572200775,
                             0.01260396745055914, 0.03222310170531273};

}  // namespace symmlet8

#endif
