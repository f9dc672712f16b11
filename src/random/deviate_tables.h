// Tables of the standard normal (algorithm FL, m = 5) and standard
// exponential (algorithm SA) deviates: the published decimal constants,
// narrowed to single precision. They are not recomputed from their rules:
// the deviate streams depend on every bit of these values.
#ifndef PELTRA_RANDOM_DEVIATE_TABLES_H
#define PELTRA_RANDOM_DEVIATE_TABLES_H

// snorm_a[k]: standard normal quantile of 1/2 + k/64.
inline constexpr float snorm_a[32] = {
    0.0,       3.917609E-2, 7.841241E-2, 0.11777,   0.1573107, 0.1970991, 0.2372021, 0.2776904,
    0.3186394, 0.36013,     0.4022501,   0.4450965, 0.4887764, 0.5334097, 0.5791322, 0.626099,
    0.6744898, 0.7245144,   0.7764218,   0.8305109, 0.8871466, 0.9467818, 1.00999,   1.077516,
    1.150349,  1.229859,    1.318011,    1.417797,  1.534121,  1.67594,   1.862732,  2.153875};

// snorm_d[k]: widths of the successive halvings of the tail beyond snorm_a[31]
// (zero for k <= 4).
inline constexpr float snorm_d[31] = {
    0.0,       0.0,       0.0,       0.0,       0.0,       0.2636843, 0.2425085, 0.2255674,
    0.2116342, 0.1999243, 0.1899108, 0.1812252, 0.1736014, 0.1668419, 0.1607967, 0.1553497,
    0.1504094, 0.1459026, 0.14177,   0.1379632, 0.1344418, 0.1311722, 0.128126,  0.1252791,
    0.1226109, 0.1201036, 0.1177417, 0.1155119, 0.1134023, 0.1114027, 0.1095039};

// snorm_t[k] = (a[k+1]^2 - a[k]^2) / 2: below it a centre point is accepted at once.
inline constexpr float snorm_t[31] = {
    7.673828E-4, 2.30687E-3,  3.860618E-3, 5.438454E-3, 7.0507E-3,   8.708396E-3, 1.042357E-2,
    1.220953E-2, 1.408125E-2, 1.605579E-2, 1.81529E-2,  2.039573E-2, 2.281177E-2, 2.543407E-2,
    2.830296E-2, 3.146822E-2, 3.499233E-2, 3.895483E-2, 4.345878E-2, 4.864035E-2, 5.468334E-2,
    6.184222E-2, 7.047983E-2, 8.113195E-2, 9.462444E-2, 0.1123001,   0.136498,    0.1716886,
    0.2276241,   0.330498,    0.5847031};

// snorm_h[k] = (a[k+1] - a[k]) / (1 - t[k]): scale of the direct part of interval k.
inline constexpr float snorm_h[31] = {
    3.920617E-2, 3.932705E-2, 3.951E-2,    3.975703E-2, 4.007093E-2, 4.045533E-2, 4.091481E-2,
    4.145507E-2, 4.208311E-2, 4.280748E-2, 4.363863E-2, 4.458932E-2, 4.567523E-2, 4.691571E-2,
    4.833487E-2, 4.996298E-2, 5.183859E-2, 5.401138E-2, 5.654656E-2, 5.95313E-2,  6.308489E-2,
    6.737503E-2, 7.264544E-2, 7.926471E-2, 8.781922E-2, 9.930398E-2, 0.11556,     0.1404344,
    0.1836142,   0.2790016,   0.7010474};

// sexpo_q[k] = sum over i = 1 .. k+1 of (ln 2)^i / i!.
inline constexpr float sexpo_q[8] = {0.6931472, 0.9333737, 0.9888778, 0.9984959,
                                     0.9998293, 0.9999833, 0.9999986, 0.9999999};

#endif
