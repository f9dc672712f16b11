"""The trace of matrix-estimation runs: every entry of the covariance matrix
over the reports on the runs' standard output, one small panel per entry
(laid out as the lower triangle of the matrix), one colour per run, the
burn-in that peltra2-matrix discards shaded; to judge whether the chains
have settled and agree."""

from .common import figure, note, save
from .readers import read_names

# Up to this many populations every entry gets a panel; above it only the
# variances do (a panel per covariance would be too small to read).
TRIANGLE_POPS = 8
COLOURS = ("#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#e377c2", "#17becf")


def read_runs(paths, burn_in):
    """The runs in the inputs and, per run, how many first reports are burn-in."""
    from peltra2tools.messages import warn
    from peltra2tools.reports import burn_in_count, check_values, read_inputs, split_runs
    runs = split_runs(read_inputs(paths, warn))
    check_values(runs)
    return runs, [burn_in_count(run, burn_in) for run in runs]


def run_names(runs):
    """A legend entry per run: its file, with its place in the file when one
    file holds several runs."""
    names = []
    for n, run in enumerate(runs):
        same = [r for r in runs if r[0].source == run[0].source]
        names.append(run[0].source if len(same) == 1 else
                     "%s, run %d" % (run[0].source, same.index(run) + 1))
    return names


def plot(args, size):
    runs, burned = read_runs(args.run_output, args.burn_in)
    k = len(runs[0][0].rows)
    names = read_names(args.names, k)
    if k <= TRIANGLE_POPS:
        cells = [(i, j, i, j) for i in range(k) for j in range(i + 1)]
        rows, cols = k, k
    else:
        cols = int(k ** 0.5 + 0.999)
        rows = (k + cols - 1) // cols
        cells = [(i, i, n // cols, n % cols) for n, i in enumerate(range(k))]
        note("%d populations: only the variances are drawn" % k)

    # each run's burn-in, from its first report to its first kept one
    spans = sorted({(run[0].label, run[min(skip, len(run) - 1)].label) for run, skip in zip(runs, burned) if skip})
    fig = figure(size)
    grid = fig.subplots(rows, cols, sharex=True, squeeze=False)
    used = set()
    small = 7 if max(rows, cols) <= 4 else 5
    for i, j, r, c in cells:
        ax = grid[r][c]
        used.add((r, c))
        for n, run in enumerate(runs):
            x = [rep.label for rep in run]
            ax.plot(x, [rep.rows[i][j] for rep in run], color=COLOURS[n % len(COLOURS)], linewidth=0.8,
                    marker="." if len(x) < 50 else None, markersize=2)
        for start, end in spans:
            ax.axvspan(start, end, color="grey", alpha=0.2, linewidth=0)
        if i != j:
            ax.axhline(0.0, color="grey", linewidth=0.4)
        ax.set_title("var %s" % names[i] if i == j else "cov %s, %s" % (names[j], names[i]), fontsize=small + 1)
        ax.tick_params(labelsize=small)
        ax.yaxis.get_offset_text().set_fontsize(small)
    for r in range(rows):
        for c in range(cols):
            if (r, c) not in used:
                grid[r][c].set_axis_off()
    handles = [grid[0][0].lines[n] for n in range(len(runs))] if len(runs) > 1 else []
    labels = run_names(runs) if len(runs) > 1 else []
    from matplotlib.patches import Patch
    handles.append(Patch(color="grey", alpha=0.3))
    labels.append("burn-in (discarded by peltra2-matrix)")
    fig.legend(handles, labels, loc="upper right", fontsize=8, frameon=False)
    fig.supxlabel("iteration", fontsize=9)
    total = sum(len(run) for run in runs)
    fig.suptitle(args.title or "Covariance matrix over %d reports (%d populations%s)"
                 % (total, k, ", %d runs" % len(runs) if len(runs) > 1 else ""), x=0.02, ha="left")
    fig.subplots_adjust(left=0.06, right=0.98, top=0.88, bottom=0.08, hspace=0.6, wspace=0.35)
    labels_seen = [rep.label for run in runs for rep in run]
    note("%d reports of a %d x %d matrix%s, ITER = %d .. %d"
         % (total, k, k, " in %d runs" % len(runs) if len(runs) > 1 else "", min(labels_seen), max(labels_seen)))
    save(fig, args.out)
