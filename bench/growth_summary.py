# Tables from growth_alternate.sh rows (or rows labelled base, wide, guide, pilot, new, fitted): per
# graph and point each label's tilt, RV / log-normal RV and work to 1%; then per family, point
# and label the growth law, the slopes per 100 vertices of log(1 + RV) and of (sd log)^2.
#   python3 bench/growth_summary.py ROWS...
import sys, math, collections
# rows: cfg | graph | n | m | point | tilt | samples | RV | sd log | RV ln | nodes | ns | work | exact
rows = collections.defaultdict(dict)
for path in sys.argv[1:]:
    for line in open(path):
        if '|' not in line or line.split()[0] not in ('base', 'wide', 'guide', 'pilot', 'new', 'fitted'): continue
        cfg = line.split()[0]
        f = [c.strip() for c in line[len(cfg):].split('|')[1:-1]]
        if len(f) < 12: continue
        rows[(f[0], f[3])][cfg] = f
cfgs = ['base', 'wide', 'guide', 'pilot', 'new', 'fitted']
def fam(g): return 'cubic' if g.startswith('3-') else 'grid' if g.startswith('grid') else 'dense'
print('| graph | point | ' + ' | '.join(f'{c} tilt, RV / log-normal RV, work (s)' for c in cfgs if any(c in r for r in rows.values())) + ' | (1, 1): estimate / exact, last config |')
used = [c for c in cfgs if any(c in r for r in rows.values())]
print('|---|---|' + '---|' * (len(used) + 1))
for (g, p), r in rows.items():
    cells = []
    for c in used:
        f = r.get(c)
        cells.append('–' if f is None else f'{f[4]}: {float(f[6]):.3g} / {float(f[8]):.3g}, {float(f[11]):.3g}')
    last = r[used[-1]] if used[-1] in r else list(r.values())[-1]
    print(f'| {g} | {p} | ' + ' | '.join(cells) + f' | {last[12] if len(last) > 12 else ""} |')
# growth law per family, point, cfg
print()
print('| family | point | ' + ' | '.join(used) + ' |')
print('|---|---|' + '---|' * len(used))
law = collections.defaultdict(list)
for (g, p), r in rows.items():
    for c, f in r.items():
        law[(fam(g), p, c)].append((float(f[1]), math.log1p(float(f[6])), float(f[7]) ** 2))
def slope(pts, k):
    if len(pts) < 2: return float('nan')
    xs = [q[0] for q in pts]; ys = [q[k] for q in pts]
    n = len(xs); sx = sum(xs); sy = sum(ys); sxx = sum(x*x for x in xs); sxy = sum(x*y for x, y in zip(xs, ys))
    return 100 * (n * sxy - sx * sy) / (n * sxx - sx * sx)
for fa in ('cubic', 'grid', 'dense'):
    for p in sorted({k[1] for k in law if k[0] == fa}):
        print(f'| {fa} | {p} | ' + ' | '.join(f'{slope(law[(fa,p,c)],1):.3g} / {slope(law[(fa,p,c)],2):.3g}' if law.get((fa,p,c)) else '–' for c in used) + ' |')
