// Markdown documents full of math, as a mathematician or physicist writes
// them, for the tests and benchmarks of the preview's typesetting: sections
// of prose with inline formulas, display formulas, aligned derivations,
// matrices and cases, drawn from real formulas (Maxwell, Schrödinger,
// Fourier, Bayes, Stokes, ...) whose numbers, Greek letters and indices vary
// from one use to the next, so that no two blocks are set alike.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mathdoc {

// Formulas that stand in a sentence.
inline const std::vector<std::string> &inlineFormulas() {
    static const std::vector<std::string> list = {
        R"(e^{i\pi} + 1 = 0)",
        R"(a^2 + b^2 = c^2)",
        R"(E = mc^2)",
        R"(\nabla \cdot \mathbf{E} = \frac{\rho}{\varepsilon_0})",
        R"(F = G\frac{m_1 m_2}{r^2})",
        R"(\sum_{k=1}^{n} k = \frac{n(n+1)}{2})",
        R"(\int_0^\infty e^{-x^2}\,dx = \frac{\sqrt{\pi}}{2})",
        R"(P(A \mid B) = \frac{P(B \mid A)\,P(A)}{P(B)})",
        R"(\hat{H}\psi = E\psi)",
        R"(\lim_{x \to 0} \frac{\sin x}{x} = 1)",
        R"(\binom{n}{k} = \frac{n!}{k!\,(n-k)!})",
        R"(\zeta(s) = \sum_{n=1}^{\infty} n^{-s})",
        R"(\sigma = \sqrt{\frac{1}{N}\sum_{i=1}^{N}(x_i-\mu)^2})",
        R"(\det(A - \lambda I) = 0)",
        R"(f'(x) = \lim_{h\to 0}\frac{f(x+h)-f(x)}{h})",
        R"(\mathbb{E}[X] = \sum_x x\,p(x))",
        R"(\oint_C \mathbf{F}\cdot d\mathbf{r})",
        R"(\Gamma(z) = \int_0^\infty t^{z-1}e^{-t}\,dt)",
        R"(O(n \log n))",
        R"(\varphi = \frac{1+\sqrt{5}}{2})",
        R"(\partial_t u = \alpha \nabla^2 u)",
        R"(x \in \mathbb{R}^n)",
        R"(\langle u, v \rangle = \sum_i u_i \bar{v}_i)",
        R"(\|x\|_2 = \sqrt{x^\top x})",
        R"(H(X) = -\sum_i p_i \log_2 p_i)",
        R"(\mathcal{L} = T - V)",
        R"(\Delta x\, \Delta p \ge \frac{\hbar}{2})",
        R"(k_B T \ln 2)",
        R"(\omega = 2\pi f)",
        R"(\lambda = \frac{h}{p})",
        R"(PV = nRT)",
        R"(\forall \varepsilon > 0\ \exists \delta > 0)",
        R"(A \subseteq B \cup C)",
        R"(\gcd(a, b) = \gcd(b, a \bmod b))",
        R"(\mathrm{Var}(X) = \mathbb{E}[X^2] - \mathbb{E}[X]^2)",
        R"(\vec{v} = \frac{d\vec{r}}{dt})",
        R"(z = re^{i\theta})",
        R"(\cos^2\theta + \sin^2\theta = 1)",
        R"(\frac{\partial f}{\partial x_i})",
        R"(n \equiv 1 \pmod{4})",
    };
    return list;
}

// Formulas set apart, one to a paragraph.
inline const std::vector<std::string> &displayFormulas() {
    static const std::vector<std::string> list = {
        R"(\hat{f}(\xi) = \int_{-\infty}^{\infty} f(x)\, e^{-2\pi i x \xi}\,dx)",
        R"(f(x) = \frac{1}{\sigma\sqrt{2\pi}} e^{-\frac{1}{2}\left(\frac{x-\mu}{\sigma}\right)^2})",
        R"(i\hbar\frac{\partial}{\partial t}\Psi(\mathbf{r},t) = \left[-\frac{\hbar^2}{2m}\nabla^2 + V(\mathbf{r},t)\right]\Psi(\mathbf{r},t))",
        R"(f(a) = \frac{1}{2\pi i}\oint_\gamma \frac{f(z)}{z-a}\,dz)",
        R"(f(x) = \sum_{n=0}^{\infty} \frac{f^{(n)}(a)}{n!}(x-a)^n)",
        R"(\frac{d}{dt}\frac{\partial L}{\partial \dot{q}_i} - \frac{\partial L}{\partial q_i} = 0)",
        R"(\rho\left(\frac{\partial \mathbf{u}}{\partial t} + \mathbf{u}\cdot\nabla\mathbf{u}\right) = -\nabla p + \mu\nabla^2\mathbf{u} + \mathbf{f})",
        R"(\int_\Sigma (\nabla\times\mathbf{F})\cdot d\mathbf{\Sigma} = \oint_{\partial\Sigma}\mathbf{F}\cdot d\mathbf{r})",
        R"(\sum_{n=1}^{\infty}\frac{1}{n^2} = \frac{\pi^2}{6})",
        R"(x = \frac{-b \pm \sqrt{b^2-4ac}}{2a})",
        R"(R_{\mu\nu} - \frac{1}{2}R\,g_{\mu\nu} + \Lambda g_{\mu\nu} = \frac{8\pi G}{c^4}T_{\mu\nu})",
        R"(n! \sim \sqrt{2\pi n}\left(\frac{n}{e}\right)^n)",
        R"(\left(\sum_{k=1}^n a_k b_k\right)^2 \le \left(\sum_{k=1}^n a_k^2\right)\left(\sum_{k=1}^n b_k^2\right))",
        R"(\frac{\pi}{2} = \prod_{n=1}^{\infty}\frac{4n^2}{4n^2-1})",
        R"(\mathcal{L}\{f\}(s) = \int_0^\infty f(t)\,e^{-st}\,dt)",
        R"((x+y)^n = \sum_{k=0}^{n}\binom{n}{k}x^{n-k}y^k)",
        R"(\frac{\partial V}{\partial t} + \frac{1}{2}\sigma^2 S^2\frac{\partial^2 V}{\partial S^2} + rS\frac{\partial V}{\partial S} - rV = 0)",
        R"(\zeta(s) = \prod_{p\ \text{prime}} \frac{1}{1-p^{-s}})",
        R"(|x| = \begin{cases} x & \text{if } x \ge 0 \\ -x & \text{if } x < 0 \end{cases})",
        R"(\oint_\gamma f(z)\,dz = 2\pi i \sum_{k=1}^{n} \operatorname{Res}(f, a_k))",
        R"(\nabla^2 \phi = \frac{\partial^2 \phi}{\partial x^2} + \frac{\partial^2 \phi}{\partial y^2} + \frac{\partial^2 \phi}{\partial z^2})",
        R"(\mathrm{softmax}(z)_i = \frac{e^{z_i}}{\sum_{j=1}^{K} e^{z_j}})",
        R"(F_n = \frac{\varphi^n - (1-\varphi)^n}{\sqrt{5}})",
        R"(\int_a^b f'(x)\,dx = f(b) - f(a))",
        R"(\mathbf{F} = q\left(\mathbf{E} + \mathbf{v}\times\mathbf{B}\right))",
        R"(S = k_B \ln \Omega)",
        R"(\Pr\left[\,|X - \mu| \ge k\sigma\,\right] \le \frac{1}{k^2})",
        R"(e^{x} = \lim_{n\to\infty}\left(1 + \frac{x}{n}\right)^{n})",
    };
    return list;
}

// Derivations and systems, each the body of an aligned environment.
inline const std::vector<std::string> &alignedFormulas() {
    static const std::vector<std::string> list = {
        R"(\nabla\cdot\mathbf{E} &= \frac{\rho}{\varepsilon_0} \\
\nabla\cdot\mathbf{B} &= 0 \\
\nabla\times\mathbf{E} &= -\frac{\partial\mathbf{B}}{\partial t} \\
\nabla\times\mathbf{B} &= \mu_0\mathbf{J} + \mu_0\varepsilon_0\frac{\partial\mathbf{E}}{\partial t})",
        R"((a+b)^2 &= (a+b)(a+b) \\
&= a^2 + ab + ba + b^2 \\
&= a^2 + 2ab + b^2)",
        R"(\hat{\beta} &= \arg\min_\beta \|y - X\beta\|^2 \\
&= (X^\top X)^{-1}X^\top y)",
        R"(\frac{d}{dx}\left(x^2 \sin x\right) &= 2x\sin x + x^2\cos x \\
\int x e^{x}\,dx &= x e^{x} - \int e^{x}\,dx = (x-1)e^{x} + C)",
        R"(\dot{x} &= \sigma (y - x) \\
\dot{y} &= x(\rho - z) - y \\
\dot{z} &= xy - \beta z)",
        R"(\mathbb{E}[(X-\mu)^2] &= \mathbb{E}[X^2 - 2\mu X + \mu^2] \\
&= \mathbb{E}[X^2] - 2\mu^2 + \mu^2 \\
&= \mathbb{E}[X^2] - \mu^2)",
        R"(H &= \frac{p^2}{2m} + \frac{1}{2}m\omega^2 x^2 \\
E_n &= \hbar\omega\left(n + \frac{1}{2}\right), \quad n = 0, 1, 2, \ldots)",
        R"(\sin(\alpha + \beta) &= \sin\alpha\cos\beta + \cos\alpha\sin\beta \\
\cos(\alpha + \beta) &= \cos\alpha\cos\beta - \sin\alpha\sin\beta)",
    };
    return list;
}

// Matrices, with what they stand for around them.
inline const std::vector<std::string> &matrixFormulas() {
    static const std::vector<std::string> list = {
        R"(R(\theta) = \begin{pmatrix} \cos\theta & -\sin\theta \\ \sin\theta & \cos\theta \end{pmatrix})",
        R"(\sigma_x = \begin{pmatrix} 0 & 1 \\ 1 & 0 \end{pmatrix},\quad \sigma_y = \begin{pmatrix} 0 & -i \\ i & 0 \end{pmatrix},\quad \sigma_z = \begin{pmatrix} 1 & 0 \\ 0 & -1 \end{pmatrix})",
        R"(\begin{vmatrix} a & b & c \\ d & e & f \\ g & h & i \end{vmatrix} = a(ei - fh) - b(di - fg) + c(dh - eg))",
        R"(J = \begin{bmatrix} \frac{\partial f_1}{\partial x_1} & \cdots & \frac{\partial f_1}{\partial x_n} \\ \vdots & \ddots & \vdots \\ \frac{\partial f_m}{\partial x_1} & \cdots & \frac{\partial f_m}{\partial x_n} \end{bmatrix})",
        R"(\Lambda = \begin{pmatrix} \gamma & -\beta\gamma & 0 & 0 \\ -\beta\gamma & \gamma & 0 & 0 \\ 0 & 0 & 1 & 0 \\ 0 & 0 & 0 & 1 \end{pmatrix})",
        R"(A^{-1} = \frac{1}{ad - bc}\begin{pmatrix} d & -b \\ -c & a \end{pmatrix})",
        R"(\begin{pmatrix} x_{n+1} \\ y_{n+1} \end{pmatrix} = \begin{pmatrix} 1 & 1 \\ 1 & 0 \end{pmatrix}\begin{pmatrix} x_n \\ y_n \end{pmatrix})",
    };
    return list;
}

inline const std::vector<std::string> &proseWords() {
    static const std::vector<std::string> list = {
        "we",        "observe",   "that",      "the",        "estimate",  "holds",     "for",        "every",
        "bounded",   "domain",    "and",       "hence",      "the",       "series",    "converges",  "uniformly",
        "on",        "compact",   "subsets",   "moreover",   "a",         "careful",   "choice",     "of",
        "constants", "shows",     "which",     "completes",  "argument",  "in",        "particular", "energy",
        "is",        "conserved", "along",     "trajectories", "so",      "measured",  "values",     "agree",
        "with",      "prediction", "within",   "error",      "this",      "suggests",  "simple",     "model",
        "where",     "parameter", "remains",   "small",      "therefore", "follows",   "from",       "lemma",
        "above",     "boundary",  "conditions", "are",       "satisfied", "limit",     "exists",     "whenever",
    };
    return list;
}

// A small generator of its own, the same on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed * 2862933555777941757ULL + 3037000493ULL) {}
    std::uint64_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    size_t below(size_t n) { return n ? size_t(next() % n) : 0; }

private:
    std::uint64_t m_state;
};

// `formula` with its digits and some of its Greek letters changed, as the
// same law written for another case.
inline std::string vary(const std::string &formula, Random &random) {
    static const std::vector<std::pair<std::string, std::string>> greek = {
        {"\\alpha", "\\beta"}, {"\\mu", "\\nu"},     {"\\sigma", "\\tau"},
        {"\\theta", "\\phi"},  {"\\lambda", "\\kappa"}, {"\\omega", "\\Omega"}};
    std::string out;
    out.reserve(formula.size() + 8);
    const int shift = int(random.below(9)) + 1;
    for (size_t i = 0; i < formula.size(); i++) {
        const char c = formula[i];
        // Digits of numbers only: not those of a command (none has any).
        if (c >= '1' && c <= '9' && random.below(3) == 0)
            out += char('1' + (c - '1' + shift) % 9);
        else
            out += c;
    }
    const auto &swap = greek[random.below(greek.size())];
    for (size_t at = out.find(swap.first); at != std::string::npos; at = out.find(swap.first, at + swap.second.size())) {
        const size_t end = at + swap.first.size();
        if (end < out.size() && std::isalpha(static_cast<unsigned char>(out[end])))
            continue;  // a longer command that begins alike
        out.replace(at, swap.first.size(), swap.second);
    }
    return out;
}

// `words` words of prose; the first a capital one when `opens` a sentence.
inline std::string sentence(Random &random, size_t words, bool opens = true) {
    const auto &list = proseWords();
    std::string text;
    for (size_t i = 0; i < words; i++) {
        std::string word = list[random.below(list.size())];
        if (i == 0 && opens)
            word[0] = char(std::toupper(static_cast<unsigned char>(word[0])));
        text += (i ? " " : "") + word;
    }
    return text;
}

// A document of at least `bytes` bytes (to the end of its last block), with
// the word "midpoint" in a paragraph of its own in the middle (its text is
// "The midpoint paragraph stands here.").
inline std::string document(size_t bytes, std::uint64_t seed = 1) {
    Random random(seed);
    std::string text = "# Notes on analysis and physics\n\n";
    const std::string middle = "The midpoint paragraph stands here.\n\n";
    bool middlePut = false;
    for (int section = 1; text.size() < bytes; section++) {
        text += "## Section " + std::to_string(section) + "\n\n";
        for (int block = 0; block < 6; block++) {
            if (!middlePut && text.size() >= bytes / 2) {
                text += middle;
                middlePut = true;
            }
            switch (random.below(6)) {
            case 0:
            case 1:
            case 2: {
                // Prose with one to three formulas in it.
                std::string paragraph;
                const size_t formulas = 1 + random.below(3);
                for (size_t f = 0; f < formulas; f++) {
                    paragraph += sentence(random, 6 + random.below(10)) + " $";
                    paragraph += vary(inlineFormulas()[random.below(inlineFormulas().size())], random);
                    paragraph += "$ " + sentence(random, 3 + random.below(6), false) + ". ";
                }
                text += paragraph + "\n\n";
                break;
            }
            case 3:
                text += sentence(random, 8) + ":\n\n$$" +
                        vary(displayFormulas()[random.below(displayFormulas().size())], random) + "$$\n\n";
                break;
            case 4:
                text += sentence(random, 10) + ".\n\n$$\\begin{aligned}\n" +
                        vary(alignedFormulas()[random.below(alignedFormulas().size())], random) +
                        "\n\\end{aligned}$$\n\n";
                break;
            case 5:
                text += sentence(random, 9) + " $" +
                        vary(inlineFormulas()[random.below(inlineFormulas().size())], random) + "$, where\n\n$$" +
                        vary(matrixFormulas()[random.below(matrixFormulas().size())], random) + "$$\n\n";
                break;
            }
        }
    }
    if (!middlePut)
        text += middle;
    return text;
}

}  // namespace mathdoc
