"""Readers of the matrix files and population names the pictures come
from, with the checks a picture of a covariance matrix needs. (Reports,
scan tables, quantiles and SNP tables are read by peltra2tools.)"""

import math

from peltra2tools import inputs

from .common import PlotError, display_name

# Relative difference allowed between numbers that should be equal (or a
# correlation allowed past 1): files hold 7 significant digits or more.
ROUNDING = 1e-5


def read_matrix(path):
    """The K x K matrix of a matrix file (K: the fields of its first line), as
    peltra2 -m reads it. It must be symmetric (up to rounding) with positive
    variances."""
    name = display_name(path)
    m = inputs.read_matrix(path)
    k = len(m)
    for i in range(k):
        if not m[i][i] > 0:
            raise PlotError("%s: the variance of population %d (row %d, column %d) is not positive"
                            % (name, i + 1, i + 1, i + 1))
    for i in range(k):
        for j in range(i):
            if abs(m[i][j] - m[j][i]) > ROUNDING * math.sqrt(m[i][i] * m[j][j]):
                raise PlotError("%s: not symmetric: row %d, column %d is %g but row %d, column %d is %g"
                                % (name, i + 1, j + 1, m[i][j], j + 1, i + 1, m[j][i]))
    return m


def read_names(path, k):
    """K population names, one per line (the converter's PREFIX.names); the
    column numbers 1..K without a file."""
    if path is None:
        return [str(i + 1) for i in range(k)]
    return inputs.read_names(path, k, "names file", "populations")
