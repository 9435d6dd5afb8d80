// Seeded generator of the whole-process benchmark workloads.
//
// For each workload it writes, into OUT/<workload>/:
//   script.txt     the relations and the join request in relmerge's input format
//   expected.txt   what relmerge appends after echoing the script, so that
//                  `cat script.txt expected.txt` is byte-identical to its output
//   <Rel>.csv      the same rows as headerless CSV, for the peers
//   sqlite.sql     the sqlite3 CLI commands: import the CSVs, run the join
//   duckdb.sql     one COPY statement joining the CSVs straight to a file
//   meta.sh        shell variables: description, sizes, row count, sort+join plan
// and OUT/workloads.txt lists the workload names in run order.
//
// The expected result is computed here by an independent hash-free join
// (sort + binary search) that keeps relmerge's row order: left rows in order,
// and for each the matching right rows in their order.
//
// Usage: gen_script --out DIR [--seed N] [--scale F] [--large] [--only NAME]

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

__extension__ typedef unsigned __int128 u128;

// splitmix64: tiny, fast and identical on every platform, unlike the
// distributions of <random>.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed) {}
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n) without modulo bias worth caring about at these sizes.
  uint32_t below(uint64_t n) {
    return static_cast<uint32_t>((static_cast<u128>(next()) * n) >> 64);
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

uint64_t hash_name(const std::string& s) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
  return h;
}

// A column is either decimal integers or fixed-width lowercase words; both are
// stored as uint32 and formatted injectively, so equal numbers mean equal text.
struct Attr {
  std::string name;
  bool word = false;
  int width = 0;  // letters of a word column
  std::string type() const { return word ? "char" : "int"; }
};

struct Rel {
  std::string name;
  std::vector<Attr> attrs;
  std::vector<uint32_t> vals;  // row-major
  size_t rows() const { return attrs.empty() ? 0 : vals.size() / attrs.size(); }
  const uint32_t* row(size_t i) const { return vals.data() + i * attrs.size(); }
};

struct Workload {
  std::string name;
  std::string desc;
  std::vector<Rel> rels;
  std::vector<int> join;  // indices into rels, in join-line order
};

// The generator has nothing to clean up: a failure ends it with the reason.
[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "gen_script: %s\n", what.c_str());
  std::exit(1);
}

// Buffered writer; the scripts reach gigabytes, so no iostreams.
class Out {
 public:
  explicit Out(const std::string& path) : path_(path) {
    f_ = std::fopen(path.c_str(), "wb");
    if (!f_) fail("cannot create " + path + ": " + std::strerror(errno));
    buf_.resize(1 << 20);
  }
  ~Out() { close(); }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  void put(const char* p, size_t n) {
    if (len_ + n > buf_.size()) flush();
    if (n > buf_.size()) {
      write_raw(p, n);
      return;
    }
    std::memcpy(buf_.data() + len_, p, n);
    len_ += n;
  }
  void put(const std::string& s) { put(s.data(), s.size()); }
  void put(char c) { put(&c, 1); }
  void num(uint32_t v) {
    char tmp[10];
    int i = 10;
    do {
      tmp[--i] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    put(tmp + i, 10 - i);
  }
  void word(uint32_t v, int width) {
    char tmp[16];
    for (int i = width - 1; i >= 0; --i) {
      tmp[i] = static_cast<char>('a' + v % 26);
      v /= 26;
    }
    put(tmp, width);
  }
  void value(const Attr& a, uint32_t v) {
    if (a.word)
      word(v, a.width);
    else
      num(v);
  }
  uint64_t bytes() const { return total_ + len_; }
  void close() {
    if (!f_) return;
    flush();
    if (std::fclose(f_) != 0) fail("write failed: " + path_);
    f_ = nullptr;
  }

 private:
  void flush() {
    write_raw(buf_.data(), len_);
    len_ = 0;
  }
  void write_raw(const char* p, size_t n) {
    if (n && std::fwrite(p, 1, n, f_) != n) fail("write failed: " + path_);
    total_ += n;
  }
  std::string path_;
  std::FILE* f_ = nullptr;
  std::vector<char> buf_;
  size_t len_ = 0;
  uint64_t total_ = 0;
};

uint32_t pow26(int w) {
  uint64_t p = 1;
  for (int i = 0; i < w; ++i) p *= 26;
  return static_cast<uint32_t>(std::min<uint64_t>(p, UINT32_MAX));
}

size_t scaled(double base, double scale) {
  return std::max<size_t>(1, static_cast<size_t>(std::llround(base * scale)));
}

// Column fillers: each gets the row index and the workload's generator.
using Fill = std::function<uint32_t(size_t, Rng&)>;

Fill serial() {
  return [](size_t i, Rng&) { return static_cast<uint32_t>(i + 1); };
}
Fill uniform(uint64_t n) {
  return [n](size_t, Rng& r) { return r.below(n); };
}

Rel make_rel(const std::string& name, std::vector<std::pair<Attr, Fill>> cols, size_t rows,
             Rng& rng) {
  Rel r;
  r.name = name;
  for (auto& c : cols) r.attrs.push_back(c.first);
  const size_t w = cols.size();
  r.vals.resize(rows * w);
  for (size_t i = 0; i < rows; ++i)
    for (size_t c = 0; c < w; ++c) r.vals[i * w + c] = cols[c].second(i, rng);
  return r;
}

Attr int_attr(const std::string& n) { return Attr{n, false, 0}; }
Attr word_attr(const std::string& n, int width) { return Attr{n, true, width}; }

// ---------------------------------------------------------------- workloads

Workload equi(const std::string& name, size_t n, Rng& rng) {
  Workload w;
  w.name = name;
  w.desc =
      "two relations of " + std::to_string(n) + " rows, one common attribute, ~1 match per row";
  w.rels.push_back(make_rel("R",
                            {{int_attr("id"), serial()},
                             {int_attr("k"), uniform(n)},
                             {word_attr("txt", 6), uniform(pow26(6))}},
                            n, rng));
  w.rels.push_back(make_rel("S",
                            {{int_attr("k"), uniform(n)},
                             {int_attr("num"), uniform(1000000)},
                             {word_attr("tag", 4), uniform(pow26(4))}},
                            n, rng));
  w.join = {0, 1};
  return w;
}

Workload chain(size_t n, Rng& rng) {
  Workload w;
  w.name = "chain4";
  w.desc = "chain of four relations of " + std::to_string(n) + " rows each";
  w.rels.push_back(
      make_rel("R1", {{int_attr("a"), serial()}, {int_attr("b"), uniform(n)}}, n, rng));
  w.rels.push_back(
      make_rel("R2", {{int_attr("b"), uniform(n)}, {int_attr("c"), uniform(n)}}, n, rng));
  w.rels.push_back(
      make_rel("R3", {{int_attr("c"), uniform(n)}, {int_attr("d"), uniform(n)}}, n, rng));
  w.rels.push_back(make_rel(
      "R4", {{int_attr("d"), uniform(n)}, {word_attr("e", 5), uniform(pow26(5))}}, n, rng));
  w.join = {0, 1, 2, 3};
  return w;
}

Workload cross(size_t n, Rng& rng) {
  Workload w;
  w.name = "cross";
  w.desc = "Cartesian product " + std::to_string(n) + " x " + std::to_string(n);
  w.rels.push_back(
      make_rel("R", {{int_attr("a"), serial()}, {word_attr("b", 4), uniform(pow26(4))}}, n, rng));
  w.rels.push_back(
      make_rel("S", {{int_attr("c"), serial()}, {word_attr("d", 4), uniform(pow26(4))}}, n, rng));
  w.join = {0, 1};
  return w;
}

// Zipf-distributed keys over a handful of values: a few keys carry most rows,
// so most of the output comes from a few huge groups.
Workload skew(size_t n, Rng& rng) {
  const int distinct = 50;
  std::vector<double> cdf(distinct);
  double sum = 0;
  for (int i = 0; i < distinct; ++i) cdf[i] = (sum += 1.0 / (i + 1));
  for (double& c : cdf) c /= sum;
  Fill key = [cdf](size_t, Rng& r) {
    const double u = r.unit();
    const auto rank = std::lower_bound(cdf.begin(), cdf.end(), u) - cdf.begin();
    return static_cast<uint32_t>(std::min<long>(rank, static_cast<long>(cdf.size()) - 1) * 7919 +
                                 101);
  };
  Workload w;
  w.name = "skew";
  w.desc = "skewed many-to-many, " + std::to_string(n) + " rows each, " + std::to_string(distinct) +
           " Zipf-distributed key values";
  w.rels.push_back(make_rel("R", {{int_attr("k"), key}, {int_attr("x"), uniform(100000)}}, n, rng));
  w.rels.push_back(make_rel("S", {{int_attr("k"), key}, {int_attr("y"), uniform(100000)}}, n, rng));
  w.join = {0, 1};
  return w;
}

Workload wide(size_t n, Rng& rng) {
  // k1 x k2 spans about n combinations, so each row finds about one partner.
  const uint64_t k2_range = 200;
  const uint64_t k1_range = std::max<uint64_t>(1, n / k2_range);
  auto side = [&](const std::string& rel, char prefix) {
    std::vector<std::pair<Attr, Fill>> cols = {{int_attr("k1"), uniform(k1_range)},
                                               {int_attr("k2"), uniform(k2_range)}};
    for (int c = 3; c <= 20; ++c) {
      char nm[16];
      std::snprintf(nm, sizeof nm, "%c%02d", prefix, c);
      if (c % 3 == 0)
        cols.push_back({word_attr(nm, 5), uniform(pow26(5))});
      else
        cols.push_back({int_attr(nm), uniform(100000)});
    }
    return make_rel(rel, cols, n, rng);
  };
  Workload w;
  w.name = "wide";
  w.desc = "20 attributes per relation, two common, " + std::to_string(n) + " rows each";
  w.rels.push_back(side("R", 'a'));
  w.rels.push_back(side("S", 'b'));
  w.join = {0, 1};
  return w;
}

// Left keys even, right keys odd, except one right row in 50,000 that copies a
// left key: the join is nearly empty and reading and echo dominate.
Workload sparse(size_t n, Rng& rng) {
  const uint64_t half = 1ULL << 30;
  Workload w;
  w.name = "sparse";
  w.desc = "two relations of " + std::to_string(n) + " rows, almost no matches";
  w.rels.push_back(make_rel("R",
                            {{int_attr("id"), serial()},
                             {int_attr("k"), [half](size_t, Rng& r) { return 2 * r.below(half); }},
                             {word_attr("txt", 6), uniform(pow26(6))}},
                            n, rng));
  const Rel& left = w.rels[0];
  Fill rkey = [half, &left](size_t i, Rng& r) {
    if (i % 50000 == 0) return left.row(r.below(left.rows()))[1];
    return 2 * r.below(half) + 1;
  };
  Rel right = make_rel("S",
                       {{int_attr("k"), rkey},
                        {int_attr("num"), uniform(1000000)},
                        {word_attr("tag", 4), uniform(pow26(4))}},
                       n, rng);
  w.rels.push_back(std::move(right));
  w.join = {0, 1};
  return w;
}

// ----------------------------------------------------------------- the join

// The relation built so far: its heading, its rows, and for every column the
// relation and attribute it came from (for the SQL of the peers).
struct Joined {
  std::vector<Attr> attrs;
  std::vector<std::pair<int, std::string>> source;
  std::vector<uint32_t> vals;
  size_t rows() const { return attrs.empty() ? 0 : vals.size() / attrs.size(); }
  const uint32_t* row(size_t i) const { return vals.data() + i * attrs.size(); }
};

struct Step {
  std::vector<std::pair<size_t, size_t>> common;  // (left column, right column)
  std::vector<size_t> keep;                       // right columns appended
};

bool same_attr(const Attr& a, const Attr& b) { return a.name == b.name && a.type() == b.type(); }

Step plan_step(const Joined& left, const Rel& right) {
  Step s;
  for (size_t rc = 0; rc < right.attrs.size(); ++rc) {
    bool found = false;
    for (size_t lc = 0; lc < left.attrs.size() && !found; ++lc)
      if (same_attr(left.attrs[lc], right.attrs[rc])) {
        s.common.push_back({lc, rc});
        found = true;
      }
    if (!found) s.keep.push_back(rc);
  }
  if (s.common.size() > 2) fail("more than two common attributes");
  return s;
}

uint64_t key_of(const uint32_t* row, const Step& s, bool left) {
  uint64_t k = 0;
  for (const auto& c : s.common) k = (k << 32) | row[left ? c.first : c.second];
  return k;
}

// Calls emit(left row, right row) for every output pair in relmerge's order.
template <class Emit>
void run_step(const Joined& left, const Rel& right, const Step& s, Emit emit) {
  const size_t nl = left.rows(), nr = right.rows();
  if (s.common.empty()) {
    for (size_t i = 0; i < nl; ++i)
      for (size_t j = 0; j < nr; ++j) emit(left.row(i), right.row(j));
    return;
  }
  // Sorting (key, row) pairs keeps equal keys in row order.
  std::vector<std::pair<uint64_t, uint32_t>> idx(nr);
  for (size_t j = 0; j < nr; ++j)
    idx[j] = {key_of(right.row(j), s, false), static_cast<uint32_t>(j)};
  std::sort(idx.begin(), idx.end());
  for (size_t i = 0; i < nl; ++i) {
    const uint64_t k = key_of(left.row(i), s, true);
    auto it = std::lower_bound(idx.begin(), idx.end(), std::make_pair(k, uint32_t{0}));
    for (; it != idx.end() && it->first == k; ++it) emit(left.row(i), right.row(it->second));
  }
}

void extend_heading(Joined& j, const Rel& right, int rel_index, const Step& s) {
  for (size_t rc : s.keep) {
    j.attrs.push_back(right.attrs[rc]);
    j.source.push_back({rel_index, right.attrs[rc].name});
  }
}

struct JoinPlan {
  std::vector<Attr> heading;
  std::vector<std::pair<int, std::string>> source;
  // Per step after the first relation: the relation and its ON conditions as
  // (left relation, attribute) = (this relation, attribute).
  std::vector<std::pair<int, std::vector<std::pair<std::pair<int, std::string>, std::string>>>>
      steps;
};

void write_result_heading(Out& out, const std::vector<Attr>& attrs) {
  out.put("\n\nresult(");
  for (size_t c = 0; c < attrs.size(); ++c) {
    out.put(attrs[c].name);
    out.put(' ');
    out.put(attrs[c].type());
    out.put(c + 1 < attrs.size() ? ", " : ")");
  }
  out.put('\n');
}

// Runs the last step of the fold, writing each row it makes; answers how many.
uint64_t write_last_step(Out& out, const Joined& cur, const Rel& right, const Step& s) {
  uint64_t count = 0;
  run_step(cur, right, s, [&](const uint32_t* l, const uint32_t* r) {
    for (size_t c = 0; c < cur.attrs.size(); ++c) {
      if (c) out.put(", ", 2);
      out.value(cur.attrs[c], l[c]);
    }
    for (size_t rc : s.keep) {
      out.put(", ", 2);
      out.value(right.attrs[rc], r[rc]);
    }
    out.put('\n');
    ++count;
  });
  return count;
}

// Folds the join list left to right; the last step streams its rows into `out`.
uint64_t join_and_write(const Workload& w, Out& out, JoinPlan& plan) {
  Joined cur;
  const Rel& first = w.rels[w.join[0]];
  cur.attrs = first.attrs;
  for (const auto& a : first.attrs) cur.source.push_back({w.join[0], a.name});
  cur.vals = first.vals;

  uint64_t count = 0;
  for (size_t st = 1; st < w.join.size(); ++st) {
    const int ri = w.join[st];
    const Rel& right = w.rels[ri];
    const Step s = plan_step(cur, right);
    std::vector<std::pair<std::pair<int, std::string>, std::string>> on;
    for (const auto& c : s.common) on.push_back({cur.source[c.first], right.attrs[c.second].name});
    plan.steps.push_back({ri, on});

    Joined next;
    next.attrs = cur.attrs;
    next.source = cur.source;
    extend_heading(next, right, ri, s);
    if (st + 1 < w.join.size()) {
      const size_t lw = cur.attrs.size();
      run_step(cur, right, s, [&](const uint32_t* l, const uint32_t* r) {
        next.vals.insert(next.vals.end(), l, l + lw);
        for (size_t rc : s.keep) next.vals.push_back(r[rc]);
      });
      cur = std::move(next);
      continue;
    }

    write_result_heading(out, next.attrs);
    count = write_last_step(out, cur, right, s);
    out.put('\n');
    plan.heading = next.attrs;
    plan.source = next.source;
  }
  return count;
}

// ------------------------------------------------------------------ writers

void write_row(Out& out, const Rel& r, size_t i, const char* sep) {
  const uint32_t* row = r.row(i);
  for (size_t c = 0; c < r.attrs.size(); ++c) {
    if (c) out.put(sep);
    out.value(r.attrs[c], row[c]);
  }
  out.put('\n');
}

uint64_t write_script(const Workload& w, const std::string& path) {
  Out out(path);
  for (const Rel& r : w.rels) {
    out.put(r.name);
    out.put('(');
    for (size_t c = 0; c < r.attrs.size(); ++c) {
      if (c) out.put(", ");
      out.put(r.attrs[c].name);
      out.put(' ');
      out.put(r.attrs[c].type());
    }
    out.put(")\n");
    for (size_t i = 0; i < r.rows(); ++i) write_row(out, r, i, ", ");
    out.put('\n');
  }
  out.put("join(");
  for (size_t j = 0; j < w.join.size(); ++j) {
    if (j) out.put(", ");
    out.put(w.rels[w.join[j]].name);
  }
  out.put(")\n");
  const uint64_t n = out.bytes();
  out.close();
  return n;
}

void write_csv(const Rel& r, const std::string& path) {
  Out out(path);
  for (size_t i = 0; i < r.rows(); ++i) write_row(out, r, i, ",");
  out.close();
}

std::string select_list(const Workload& w, const JoinPlan& p) {
  std::string s;
  for (size_t c = 0; c < p.source.size(); ++c) {
    if (c) s += ", ";
    s += w.rels[p.source[c].first].name + "." + p.source[c].second;
  }
  return s;
}

// `from(i)` renders relation i in the FROM clause (a table, or a CSV scan).
std::string from_clause(const Workload& w, const JoinPlan& p,
                        const std::function<std::string(int)>& from) {
  std::string s = from(w.join[0]);
  for (const auto& step : p.steps) {
    const std::string& rn = w.rels[step.first].name;
    if (step.second.empty()) {
      s += " CROSS JOIN " + from(step.first);
      continue;
    }
    s += " JOIN " + from(step.first) + " ON ";
    for (size_t c = 0; c < step.second.size(); ++c) {
      if (c) s += " AND ";
      const auto& cond = step.second[c];
      s += w.rels[cond.first.first].name + "." + cond.first.second + " = " + rn + "." + cond.second;
    }
  }
  return s;
}

void write_text(const std::string& path, const std::string& text) {
  Out out(path);
  out.put(text);
  out.close();
}

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

void write_peer_files(const Workload& w, const JoinPlan& p, const std::string& dir) {
  for (const Rel& r : w.rels) write_csv(r, dir + "/" + r.name + ".csv");

  std::string lite = ".mode csv\n.headers off\n";
  for (const Rel& r : w.rels) {
    lite += "CREATE TABLE " + r.name + "(";
    for (size_t c = 0; c < r.attrs.size(); ++c) lite += (c ? ", " : "") + r.attrs[c].name + " TEXT";
    lite += ");\n.import " + dir + "/" + r.name + ".csv " + r.name + "\n";
  }
  lite += ".output " + dir + "/out.sqlite.txt\nSELECT " + select_list(w, p) + " FROM " +
          from_clause(w, p, [&](int i) { return w.rels[i].name; }) + ";\n";
  write_text(dir + "/sqlite.sql", lite);

  auto scan = [&](int i) {
    const Rel& r = w.rels[i];
    std::string s = "read_csv('" + dir + "/" + r.name +
                    ".csv', header=false, delim=',', auto_detect=false, columns={";
    for (size_t c = 0; c < r.attrs.size(); ++c)
      s += std::string(c ? ", " : "") + "'" + r.attrs[c].name + "': '" +
           (r.attrs[c].word ? "VARCHAR" : "INTEGER") + "'";
    return s + "}) AS " + r.name;
  };
  write_text(dir + "/duckdb.sql", "COPY (SELECT " + select_list(w, p) + " FROM " +
                                      from_clause(w, p, scan) + ") TO '" + dir +
                                      "/out.duckdb.txt' (FORMAT csv, HEADER false);\n");
}

// sort+join applies to a two-relation join on exactly one attribute.
std::string sortjoin_vars(const Workload& w, const JoinPlan& p, const std::string& dir) {
  if (w.join.size() != 2 || p.steps.size() != 1 || p.steps[0].second.size() != 1)
    return "SJ_LEFT=\nSJ_RIGHT=\nSJ_LKEY=\nSJ_RKEY=\nSJ_FIELDS=\n";
  const Rel& l = w.rels[w.join[0]];
  const Rel& r = w.rels[w.join[1]];
  const std::string& key = p.steps[0].second[0].second;
  size_t lk = 0, rk = 0;
  while (l.attrs[lk].name != key) ++lk;
  while (r.attrs[rk].name != key) ++rk;
  std::string fields;
  for (size_t c = 0; c < l.attrs.size(); ++c)
    fields += (c ? "," : "") + ("1." + std::to_string(c + 1));
  for (size_t c = 0; c < r.attrs.size(); ++c)
    if (c != rk) fields += ",2." + std::to_string(c + 1);
  return "SJ_LEFT=" + shell_quote(dir + "/" + l.name + ".csv") +
         "\nSJ_RIGHT=" + shell_quote(dir + "/" + r.name + ".csv") +
         "\nSJ_LKEY=" + std::to_string(lk + 1) + "\nSJ_RKEY=" + std::to_string(rk + 1) +
         "\nSJ_FIELDS=" + fields + "\n";
}

void make_dir(const std::string& d) {
  if (mkdir(d.c_str(), 0755) != 0 && errno != EEXIST)
    fail("cannot create " + d + ": " + std::strerror(errno));
}

void emit(const Workload& w, const std::string& root, bool peers) {
  const std::string dir = root + "/" + w.name;
  make_dir(dir);
  const uint64_t script_bytes = write_script(w, dir + "/script.txt");
  JoinPlan plan;
  Out expected(dir + "/expected.txt");
  const uint64_t rows = join_and_write(w, expected, plan);
  const uint64_t expected_bytes = expected.bytes();
  expected.close();
  if (peers) write_peer_files(w, plan, dir);

  std::string meta = "DESC=" + shell_quote(w.desc) +
                     "\nSCRIPT_BYTES=" + std::to_string(script_bytes) +
                     "\nEXPECTED_ROWS=" + std::to_string(rows) +
                     "\nOUTPUT_BYTES=" + std::to_string(script_bytes + expected_bytes) +
                     "\nPEER_FILES=" + (peers ? "1" : "0") + "\n";
  meta += peers ? sortjoin_vars(w, plan, dir) : "SJ_LEFT=\n";
  write_text(dir + "/meta.sh", meta);
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: gen_script --out DIR [--seed N] [--scale F] [--large] [--only NAME]\n");
  std::exit(2);
}

struct Options {
  std::string out_dir, only;
  uint64_t seed = 20240601;
  double scale = 1.0;
  bool large = false;
};

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage();
      return argv[++i];
    };
    if (a == "--out")
      o.out_dir = value();
    else if (a == "--seed")
      o.seed = std::strtoull(value().c_str(), nullptr, 10);
    else if (a == "--scale")
      o.scale = std::strtod(value().c_str(), nullptr);
    else if (a == "--large")
      o.large = true;
    else if (a == "--only")
      o.only = value();
    else
      usage();
  }
  if (o.out_dir.empty() || !(o.scale > 0)) usage();
  return o;
}

struct Entry {
  std::string name;
  std::function<Workload(Rng&)> make;
  bool peers;
};

std::vector<Entry> entries_of(const Options& o) {
  const double scale = o.scale;
  std::vector<Entry> entries = {
      {"equi", [=](Rng& r) { return equi("equi", scaled(1e6, scale), r); }, true},
      {"chain4", [=](Rng& r) { return chain(scaled(3e5, scale), r); }, true},
      {"cross", [=](Rng& r) { return cross(scaled(2000, std::sqrt(scale)), r); }, true},
      {"skew", [=](Rng& r) { return skew(scaled(8000, std::sqrt(scale)), r); }, true},
      {"wide", [=](Rng& r) { return wide(scaled(2e5, scale), r); }, true},
      {"sparse", [=](Rng& r) { return sparse(scaled(2e6, scale), r); }, true},
  };
  if (o.large)
    entries.push_back(
        {"large", [=](Rng& r) { return equi("large", scaled(4.3e7, scale), r); }, false});
  return entries;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse_options(argc, argv);
  make_dir(o.out_dir);
  std::string list;
  for (const Entry& e : entries_of(o)) {
    if (!o.only.empty() && e.name != o.only) continue;
    Rng rng(o.seed ^ hash_name(e.name));
    Workload w = e.make(rng);
    emit(w, o.out_dir, e.peers);
    list += e.name + "\n";
  }
  write_text(o.out_dir + "/workloads.txt", list);
  return 0;
}
