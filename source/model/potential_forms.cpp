// Potentials given at run time: a formula in r parsed by muparser, and a table of samples
// interpolated by a cubic spline on r v(r). Both become plain callables; the quadrature calls
// them from its parallel loops.
#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "skarven/errors.hpp"
#include "skarven/problem.hpp"

namespace skarven {

namespace {

// A muparser Parser keeps its variable and its stack in the object, so one parser serves one
// thread at a time: a pool hands each caller a parser of its own and takes it back after.
class FormulaPool {
  public:
    explicit FormulaPool(std::string expression) : expression_(std::move(expression)) {}

    double operator()(double r) {
        std::unique_ptr<Slot> slot = acquire();
        slot->r = r;
        const double value = slot->parser.Eval();
        release(std::move(slot));
        return value;
    }

  private:
    struct Slot {
        double r = 0.0;
        mu::Parser parser;
    };

    std::unique_ptr<Slot> acquire() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                std::unique_ptr<Slot> slot = std::move(free_.back());
                free_.pop_back();
                return slot;
            }
        }
        return compiled();
    }

    void release(std::unique_ptr<Slot> slot) {
        const std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(std::move(slot));
    }

    // A parser of the expression, evaluated once so that muparser has reported its syntax errors
    // (it parses at the first evaluation) before the parser goes into a quadrature loop.
    std::unique_ptr<Slot> compiled() const {
        // Parsing touches muparser's shared tables and locale: one parse at a time, process-wide.
        static std::mutex parse_mutex;
        const std::lock_guard<std::mutex> lock(parse_mutex);
        auto slot = std::make_unique<Slot>();
        try {
            slot->parser.DefineVar("r", &slot->r);
            slot->parser.SetExpr(expression_);
            slot->r = 1.0;
            slot->parser.Eval();
        } catch (const mu::Parser::exception_type& error) {
            throw_error("loadparams", "<v> cannot be read: " + error.GetMsg());
        }
        return slot;
    }

    std::string expression_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Slot>> free_;
};

// Cubic spline through (x_i, y_i) with not-a-knot ends (the first and last two pieces are one
// cubic), which keeps the interpolation error O(h^4) up to the ends. M are the second
// derivatives; the end conditions are folded into the first and last interior rows so that the
// system stays tridiagonal (n >= 4 points).
struct Spline {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> m;

    Spline(std::vector<double> xs, std::vector<double> ys) : x(std::move(xs)), y(std::move(ys)) {
        const int n = static_cast<int>(x.size()) - 1;
        std::vector<double> h(n);
        std::vector<double> d(n);
        for (int i = 0; i < n; ++i) {
            h[i] = x[i + 1] - x[i];
            d[i] = (y[i + 1] - y[i]) / h[i];
        }
        // Rows i = 1 .. n-1: lower[i] M_(i-1) + diag[i] M_i + upper[i] M_(i+1) = rhs[i].
        std::vector<double> lower(n + 1, 0.0), diag(n + 1, 0.0), upper(n + 1, 0.0), rhs(n + 1, 0.0);
        for (int i = 1; i < n; ++i) {
            lower[i] = h[i - 1];
            diag[i] = 2.0 * (h[i - 1] + h[i]);
            upper[i] = h[i];
            rhs[i] = 6.0 * (d[i] - d[i - 1]);
        }
        // M_0 = ((h0 + h1) M1 - h0 M2) / h1 and its mirror at the right end.
        diag[1] = (h[0] + h[1]) * (h[0] + 2.0 * h[1]) / h[1];
        upper[1] = (h[1] * h[1] - h[0] * h[0]) / h[1];
        lower[1] = 0.0;
        SKARVEN_CHECK(n >= 3);
        const double a = h[n - 2];
        const double b = h[n - 1];
        diag[n - 1] = (a + b) * (2.0 * a + b) / a;
        lower[n - 1] = (a * a - b * b) / a;
        upper[n - 1] = 0.0;
        // Thomas algorithm on rows 1 .. n-1.
        for (int i = 2; i < n; ++i) {
            const double w = lower[i] / diag[i - 1];
            diag[i] -= w * upper[i - 1];
            rhs[i] -= w * rhs[i - 1];
        }
        m.assign(n + 1, 0.0);
        m[n - 1] = rhs[n - 1] / diag[n - 1];
        for (int i = n - 2; i >= 1; --i)
            m[i] = (rhs[i] - upper[i] * m[i + 1]) / diag[i];
        m[0] = ((h[0] + h[1]) * m[1] - h[0] * m[2]) / h[1];
        m[n] = ((a + b) * m[n - 1] - b * m[n - 2]) / a;
    }

    // The piece of [x_i, x_(i+1)] containing t; the first piece continues below x_0.
    double operator()(double t) const {
        const int n = static_cast<int>(x.size()) - 1;
        int i = static_cast<int>(std::upper_bound(x.begin(), x.end(), t) - x.begin()) - 1;
        i = std::clamp(i, 0, n - 1);
        const double h = x[i + 1] - x[i];
        const double left = x[i + 1] - t;
        const double right = t - x[i];
        return m[i] * left * left * left / (6.0 * h) +
               m[i + 1] * right * right * right / (6.0 * h) + (y[i] / h - m[i] * h / 6.0) * left +
               (y[i + 1] / h - m[i + 1] * h / 6.0) * right;
    }
};

std::uint64_t fnv1a(std::uint64_t hash, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

void hash_values(std::uint64_t& hash, const std::vector<double>& values) {
    for (double value : values) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        hash = fnv1a(hash, &bits, sizeof bits);
    }
}

}  // namespace

std::function<double(double)> formula_evaluator(const std::string& expression) {
    auto pool = std::make_shared<FormulaPool>(expression);
    // Parse once now: a text that does not parse is refused before any work starts.
    pool->operator()(1.0);
    return [pool](double r) { return (*pool)(r); };
}

std::function<double(double)> table_evaluator(const std::vector<double>& r,
                                              const std::vector<double>& v) {
    SKARVEN_CHECK(r.size() == v.size() && r.size() >= 4);
    std::vector<double> rv(r.size());
    for (std::size_t i = 0; i < r.size(); ++i)
        rv[i] = r[i] * v[i];
    auto spline = std::make_shared<const Spline>(r, rv);
    const double last = r.back();
    return [spline, last](double t) { return t > last ? 0.0 : (*spline)(t) / t; };
}

Potential prepared(Potential potential) {
    if (potential.kind == PotentialKind::formula && !potential.formula) {
        potential.formula = formula_evaluator(potential.expression);
    }
    if (potential.kind == PotentialKind::table && !potential.formula) {
        potential.formula = table_evaluator(potential.table_r, potential.table_v);
    }
    return potential;
}

unsigned long long potential_hash(const Potential& potential) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    if (potential.kind == PotentialKind::formula) {
        hash = fnv1a(hash, potential.expression.data(), potential.expression.size());
        hash_values(hash, potential.breaks);
        return hash;
    }
    if (potential.kind == PotentialKind::table) {
        hash_values(hash, potential.table_r);
        hash_values(hash, potential.table_v);
        return hash;
    }
    return 0;
}

}  // namespace skarven
