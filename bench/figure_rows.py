"""The benches' tables: a header of column names, then one aligned line a row.

print_rows prints cells that are already text; print_figures turns (label, key, format) rows and
one dict of figures a column into such cells, "-" where a column has no such figure.
"""


def print_rows(columns, rows, label_width, column_width, gap=""):
    """Prints the column names right-aligned after an empty label, then each (label, cells) row;
    gap goes before each column."""
    print("%-*s" % (label_width, "") + "".join("%s%*s" % (gap, column_width, name) for name in columns))
    for label, cells in rows:
        print("%-*s" % (label_width, label) + "".join("%s%*s" % (gap, column_width, cell) for cell in cells))


def print_figures(rows, runs, label_width, column_width, gap=""):
    """rows: (label, key, format); runs: (column name, figures by key)."""
    cells = [(label, [form % figures[key] if key in figures else "-" for _, figures in runs])
             for label, key, form in rows]
    print_rows([name for name, _ in runs], cells, label_width, column_width, gap)
