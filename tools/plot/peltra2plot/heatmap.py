"""The correlation matrix of a covariance matrix file as a heat map, the
populations ordered by hierarchical clustering under a dendrogram."""

import math

from .common import PlotError, display_name, figure, note, save
from .readers import ROUNDING, read_matrix, read_names

# Cell values are written into the map up to this many populations.
ANNOTATED_POPS = 12


def correlation(m, name):
    """The correlation matrix; a correlation beyond 1 (past the rounding of
    the file's digits) means the file is no covariance matrix."""
    k = len(m)
    r = [[m[i][j] / math.sqrt(m[i][i] * m[j][j]) for j in range(k)] for i in range(k)]
    for i in range(k):
        for j in range(i):
            if abs(r[i][j]) > 1 + ROUNDING:
                raise PlotError("%s: the correlation of populations %d and %d is %.6g, beyond 1: "
                                "not a covariance matrix" % (name, j + 1, i + 1, r[i][j]))
    return [[max(-1.0, min(1.0, v)) for v in row] for row in r]


def cluster(r):
    """Average-linkage clustering on the distance 1 - correlation, leaves in
    the optimal order; returns the leaf order and the linkage (None for a
    single population)."""
    from scipy.cluster import hierarchy
    from scipy.spatial.distance import squareform
    k = len(r)
    if k < 2:
        return [0], None
    d = [[0.0 if i == j else 1.0 - r[i][j] for j in range(k)] for i in range(k)]
    z = hierarchy.linkage(squareform(d, checks=False), method="average", optimal_ordering=True)
    return [int(i) for i in hierarchy.leaves_list(z)], z


def plot(args, size):
    m = read_matrix(args.matrix)
    k = len(m)
    names = read_names(args.names, k)
    r = correlation(m, display_name(args.matrix))
    order, z = cluster(r)
    if args.print_order:
        for i in order:
            print(names[i])

    fig = figure(size)
    longest = max(len(n) for n in names)
    margin = min(0.4, 0.06 + 0.0085 * longest * 800.0 / size[0])
    gs = fig.add_gridspec(2, 2, height_ratios=[1, 4], width_ratios=[24, 1],
                          left=margin, right=0.9, bottom=min(0.4, 0.06 + 0.0085 * longest * 800.0 / size[1]),
                          top=0.92, hspace=0.02, wspace=0.04)
    ax_tree = fig.add_subplot(gs[0, 0])
    ax_map = fig.add_subplot(gs[1, 0])
    ax_bar = fig.add_subplot(gs[1, 1])
    if z is not None:
        from scipy.cluster import hierarchy
        hierarchy.dendrogram(z, ax=ax_tree, no_labels=True, color_threshold=0,
                             above_threshold_color="black")
        ax_tree.set_xlim(0, 10 * k)  # leaves sit at 5, 15, ...: aligned with the cells below
    ax_tree.set_axis_off()

    cells = [[r[i][j] for j in order] for i in order]
    limit = 1.0
    image = ax_map.imshow(cells, cmap="RdBu_r", vmin=-limit, vmax=limit, aspect="auto",
                          interpolation="nearest")
    labels = [names[i] for i in order]
    font = 10 if k <= 30 else max(4, 300 // k)  # names of many populations must not overlap
    ax_map.set_xticks(range(k))
    ax_map.set_xticklabels(labels, rotation=90, fontsize=font)
    ax_map.set_yticks(range(k))
    ax_map.set_yticklabels(labels, fontsize=font)
    if k <= ANNOTATED_POPS:
        for a in range(k):
            for b in range(k):
                v = cells[a][b]
                ax_map.text(b, a, "%.2f" % v, ha="center", va="center", fontsize=8,
                            color="white" if abs(v) > 0.6 * limit else "black")
    fig.colorbar(image, cax=ax_bar, label="correlation")
    fig.suptitle(args.title or "Correlation of population allele frequencies (%d populations)" % k)
    note("%d populations; order: %s" % (k, " ".join(labels)))
    save(fig, args.out)
