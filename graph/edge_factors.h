#pragma once

// The four numbers an edge e of a reduced graph carries, so that
//   T(G) = a T(G - e) + b T(G / e)   when e is neither a loop nor a bridge,
//   T(G) = X T(G / e)                when e is a bridge,
//   T(G) = Y T(G - e)                when e is a loop.
// An edge of the input carries (1, 1, x, y). Value is any commutative ring: a number at a point,
// or a polynomial in x and y.
//
// Every tuple built from input edges by the two rules below also satisfies X = (x - 1) a + b and
// Y = a + (y - 1) b (an edge network is a prefactor times one edge of the random-cluster model),
// so both rules are symmetric in their two edges; the four numbers are kept anyway, so that a
// zero factor (X = 0 at x = 0, Y = 0 at y = 0) stays an exact zero.
template <typename Value>
struct EdgeFactors {
  Value a;
  Value b;
  Value X;
  Value Y;
};

// Two edges with the same two ends, as one. Expanding e1: deleting it leaves e2 (ordinary, or a
// bridge when the pair was a 2-edge cut), contracting it turns e2 into a loop, so
//   T(G) = a1 a2 T(H) + (a1 b2 + b1 Y2) T(H / pq)   or   (a1 X2 + b1 Y2) T(H / pq),
// with H = G without both edges; two loops at one vertex give Y1 Y2.
template <typename Value>
EdgeFactors<Value> inParallel(const EdgeFactors<Value>& e1, const EdgeFactors<Value>& e2) {
  return {e1.a * e2.a, e1.a * e2.b + e1.b * e2.Y, e1.a * e2.X + e1.b * e2.Y, e1.Y * e2.Y};
}

// Edges e1 = (u, w) and e2 = (w, v) whose middle vertex w has no other edge, as one edge (u, v).
// Expanding e1: deleting it leaves e2 pendant, a bridge (X2, and w is gone); contracting it
// makes e2 the edge (u, v), so
//   T(G) = (a1 X2 + b1 a2) T(H) + b1 b2 T(H / uv),
// with H = G without w; when u == v the new edge is a loop, worth a1 X2 + b1 Y2, and when the
// path is a bridge it is worth X1 X2.
template <typename Value>
EdgeFactors<Value> inSeries(const EdgeFactors<Value>& e1, const EdgeFactors<Value>& e2) {
  return {e1.a * e2.X + e1.b * e2.a, e1.b * e2.b, e1.X * e2.X, e1.a * e2.X + e1.b * e2.Y};
}
