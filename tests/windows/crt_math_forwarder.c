/* Test environment only, for wine 8.0: the C99 complex functions of the Universal CRT's math API set
   that wine's ucrtbase lacks, implemented over mingw-w64's complex math. numpy's extension modules
   are made to import this DLL instead of api-ms-win-crt-math-l1-1-0.dll (the same name with "qrv"
   for "api"); every other function of that set is forwarded to ucrtbase by crt_math_forwarder.def.
   The types are the Universal CRT's: complex numbers as structs of two parts, long double as double.
   Built by mingw-w64 gcc only (__builtin_complex). */
#include <complex.h>
#include <math.h>

typedef struct { double part[2]; } Dcomplex;
typedef struct { float part[2]; } Fcomplex;
typedef Dcomplex Lcomplex; /* long double is double */

#define EXPORT __declspec(dllexport)

static double complex from_d(Dcomplex z) { return __builtin_complex(z.part[0], z.part[1]); }
static float complex from_f(Fcomplex z) { return __builtin_complex(z.part[0], z.part[1]); }
static Dcomplex to_d(double complex z) { Dcomplex r = {{creal(z), cimag(z)}}; return r; }
static Fcomplex to_f(float complex z) { Fcomplex r = {{crealf(z), cimagf(z)}}; return r; }

/* One function in its three widths: double (NAME), float (NAME##f) and long double (NAME##l). */
#define COMPLEX_TO_COMPLEX(NAME)                                                   \
    EXPORT Dcomplex qrv_##NAME(Dcomplex z) { return to_d(NAME(from_d(z))); }       \
    EXPORT Fcomplex qrv_##NAME##f(Fcomplex z) { return to_f(NAME##f(from_f(z))); } \
    EXPORT Lcomplex qrv_##NAME##l(Lcomplex z) { return to_d(NAME(from_d(z))); }

#define COMPLEX_TO_REAL(NAME)                                                    \
    EXPORT double qrv_##NAME(Dcomplex z) { return NAME(from_d(z)); }            \
    EXPORT float qrv_##NAME##f(Fcomplex z) { return NAME##f(from_f(z)); }       \
    EXPORT double qrv_##NAME##l(Lcomplex z) { return NAME(from_d(z)); }

COMPLEX_TO_COMPLEX(ccos)
COMPLEX_TO_COMPLEX(ccosh)
COMPLEX_TO_COMPLEX(cexp)
COMPLEX_TO_COMPLEX(csin)
COMPLEX_TO_COMPLEX(csinh)
COMPLEX_TO_COMPLEX(ctan)
COMPLEX_TO_COMPLEX(ctanh)
COMPLEX_TO_REAL(cabs)
COMPLEX_TO_REAL(carg)
COMPLEX_TO_REAL(creal)
COMPLEX_TO_REAL(cimag)

EXPORT Dcomplex qrv_cpow(Dcomplex x, Dcomplex y) { return to_d(cpow(from_d(x), from_d(y))); }
EXPORT Fcomplex qrv_cpowf(Fcomplex x, Fcomplex y) { return to_f(cpowf(from_f(x), from_f(y))); }
EXPORT Lcomplex qrv_cpowl(Lcomplex x, Lcomplex y) { return to_d(cpow(from_d(x), from_d(y))); }
