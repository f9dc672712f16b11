"""The trace of a matrix-estimation run: every entry of the covariance
matrix over the reports on the run's standard output, to judge whether the
chain has settled."""

from .common import figure, note, save
from .readers import read_names, read_reports

# A legend names the lines up to this many of them.
LEGEND_LINES = 12


def plot(args, size):
    reports = read_reports(args.run_output)
    k = len(reports[0].rows)
    names = read_names(args.names, k)
    labels = [r.label for r in reports]
    if all(a < b for a, b in zip(labels, labels[1:])):
        x, xlabel = labels, "iteration"
    else:
        x, xlabel = list(range(1, len(reports) + 1)), "report"
        note("the iteration labels do not grow (several runs?): the reports are plotted in file order")

    panels = 1 if k == 1 else 2
    fig = figure(size)
    axes = fig.subplots(panels, 1, sharex=True, squeeze=False)[:, 0]
    for i in range(k):
        axes[0].plot(x, [r.rows[i][i] for r in reports], marker="." if len(x) < 50 else None,
                     linewidth=1, label=names[i])
    axes[0].set_ylabel("variance")
    if k <= LEGEND_LINES:
        axes[0].legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    if panels == 2:
        pairs = [(i, j) for i in range(k) for j in range(i)]
        for i, j in pairs:
            axes[1].plot(x, [r.rows[i][j] for r in reports], marker="." if len(x) < 50 else None,
                         linewidth=1, label="%s, %s" % (names[j], names[i]))
        axes[1].axhline(0.0, color="grey", linewidth=0.5)
        axes[1].set_ylabel("covariance")
        if len(pairs) <= LEGEND_LINES:
            axes[1].legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.0, 1.0))
    axes[-1].set_xlabel(xlabel)
    fig.suptitle(args.title or "Covariance matrix over %d reports (%d populations)" % (len(reports), k))
    fig.subplots_adjust(left=0.1, right=0.8, top=0.92, bottom=0.1, hspace=0.08)
    note("%d reports of a %d x %d matrix, ITER = %d .. %d" % (len(reports), k, k, labels[0], labels[-1]))
    save(fig, args.out)
