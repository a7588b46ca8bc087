"""Where a C++ file can be mutated: a small tokenizer and the mutation operators
of scripts/dev/mutants.py. Each site is one change of the source text that keeps
the rest of the file as it is.

The operators lean on the project's formatting (binary operators have spaces
around them, template brackets do not) instead of parsing C++; a site that does
not compile costs one compile and is reported as such, never counted."""
import dataclasses
import re

KEYWORDS = {
    "alignas", "alignof", "asm", "auto", "bool", "break", "case", "catch", "char", "class", "co_await",
    "co_return", "co_yield", "const", "const_cast", "consteval", "constexpr", "constinit", "continue",
    "decltype", "default", "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export",
    "extern", "false", "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable",
    "namespace", "new", "noexcept", "nullptr", "operator", "private", "protected", "public", "register",
    "reinterpret_cast", "requires", "return", "short", "signed", "sizeof", "static", "static_assert",
    "static_cast", "struct", "switch", "template", "this", "throw", "true", "try", "typedef", "typeid",
    "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "while",
}
# Spans whose text is read by the compiler only: a mutant there either does not
# compile or changes nothing.
COMPILE_TIME = {"static_assert", "alignas", "alignof", "sizeof", "decltype", "asm", "_Pragma"}

PUNCTUATORS = sorted("""
>>= <<= <=> ->* ... :: -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= .*
{ } [ ] ( ) ; : , . ? ~ ! + - * / % ^ & | = < > #
""".split(), key=len, reverse=True)

INTEGER = re.compile(r"^(0[xX][0-9a-fA-F']+|0[bB][01']+|[0-9][0-9']*)([uUlLzZ]*|_?[a-z]+)$")


@dataclasses.dataclass
class Token:
    kind: str  # ident, number, string, char, punct
    text: str
    start: int
    end: int
    line: int
    spaced_before: bool = False
    spaced_after: bool = False


@dataclasses.dataclass
class Site:
    op: str  # cmp, eq, const, string, call, return, negate
    start: int  # character offsets into the file's text
    end: int
    replacement: str
    line: int
    col: int
    original: str


def tokenize(text):
    """Tokens outside comments and preprocessor lines."""
    tokens = []
    i, n, line = 0, len(text), 1
    at_line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
            continue
        if text.startswith("/*", i):
            close = text.find("*/", i + 2)
            close = n if close < 0 else close + 2
            line += text.count("\n", i, close)
            i = close
            continue
        if c == "#" and at_line_start:
            # A directive runs to the end of its line, continuations included.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    line += 1
                    i += 1
                i += 1
            continue
        at_line_start = False
        start = i
        raw = re.match(r'(u8|u|U|L)?R"([^()\\ ]{0,16})\(', text[i:i + 40])
        if raw:
            close = text.find(")" + raw.group(2) + '"', i + raw.end())
            close = n if close < 0 else close + len(raw.group(2)) + 2
            close = _suffix(text, close)
            tokens.append(Token("string", text[start:close], start, close, line))
            line += text.count("\n", start, close)
            i = close
            continue
        quoted = re.match(r'(u8|u|U|L)?(["\'])', text[i:i + 3])
        if quoted:
            quote = quoted.group(2)
            j = i + quoted.end()
            while j < n and text[j] != quote and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = _suffix(text, min(j + 1, n))
            tokens.append(Token("string" if quote == '"' else "char", text[start:j], start, j, line))
            i = j
            continue
        if c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit()):
            j = i + 1
            while j < n and (text[j].isalnum() or text[j] in "._'" or
                             (text[j] in "+-" and text[j - 1] in "eEpP" and not text[start:j].startswith(("0x", "0X")))):
                j += 1
            tokens.append(Token("number", text[start:j], start, j, line))
            i = j
            continue
        if c.isalpha() or c == "_":
            j = i + 1
            while j < n and (text[j].isalnum() or text[j] == "_"):
                j += 1
            tokens.append(Token("ident", text[start:j], start, j, line))
            i = j
            continue
        for p in PUNCTUATORS:
            if text.startswith(p, i):
                tokens.append(Token("punct", p, i, i + len(p), line))
                i += len(p)
                break
        else:
            tokens.append(Token("punct", c, i, i + 1, line))
            i += 1
    for t in tokens:
        t.spaced_before = t.start > 0 and text[t.start - 1] in " \t\n"
        t.spaced_after = t.end < n and text[t.end] in " \t\n"
    return tokens


def _suffix(text, j):
    while j < len(text) and (text[j].isalnum() or text[j] == "_"):
        j += 1
    return j


def _match_brackets(tokens):
    """Index of the partner of every (, [ and {."""
    partner, stack = {}, []
    pairs = {")": "(", "]": "[", "}": "{"}
    for i, t in enumerate(tokens):
        if t.kind != "punct":
            continue
        if t.text in "([{":
            stack.append(i)
        elif t.text in pairs:
            while stack and tokens[stack[-1]].text != pairs[t.text]:
                stack.pop()
            if stack:
                j = stack.pop()
                partner[i], partner[j] = j, i
    return partner


def _is(t, *texts):
    return t is not None and t.kind in ("punct", "ident") and t.text in texts


class _Scan:
    """Brace kinds (namespace, class, init, function, control-if, ...) and the
    spans to leave alone, computed once per file."""

    def __init__(self, tokens):
        self.tokens = tokens
        self.partner = _match_brackets(tokens)
        self.kind_of = {}  # index of "{" -> kind
        self.enclosing = [None] * len(tokens)  # index of the innermost "{"
        self.skip = set()
        self._classify()

    def prev(self, i):
        return self.tokens[i - 1] if i > 0 else None

    def header_keyword(self, close):
        """The keyword before the ( that `close` closes: if, for, while, switch, catch, ..."""
        open_ = self.partner.get(close)
        if open_ is None or open_ == 0:
            return None
        k = open_ - 1
        if _is(self.tokens[k], "constexpr") and k > 0:
            k -= 1
        t = self.tokens[k]
        return t.text if t.kind == "ident" else None

    def _brace_kind(self, i, parent):
        t = self.prev(i)
        code = parent is not None and parent not in ("namespace", "class", "init")
        if t is None:
            return "namespace"
        if _is(t, "else", "do"):
            return "control-" + t.text
        if _is(t, "try"):
            return "block"
        if _is(t, "]"):
            return "function"  # a lambda without parameters
        k = i - 1
        while k >= 0 and _is(self.tokens[k], "const", "noexcept", "override", "final", "mutable", "&", "&&"):
            k -= 1
        if k >= 0 and _is(self.tokens[k], ")"):
            word = self.header_keyword(k)
            if word in ("if", "for", "while", "switch", "catch"):
                return "control-" + word
            return "function"
        # Walk back over the statement or declaration head.
        k = i - 1
        depth = 0
        while k >= 0:
            s = self.tokens[k]
            if s.kind == "punct" and s.text in (")", "]"):
                depth += 1
            elif s.kind == "punct" and s.text in ("(", "["):
                if depth == 0:
                    break
                depth -= 1
            elif depth == 0 and s.kind == "punct" and s.text in (";", "{", "}"):
                break
            elif depth == 0 and s.kind == "ident" and s.text in ("namespace", "extern"):
                return "namespace"
            elif depth == 0 and s.kind == "ident" and s.text in ("class", "struct", "union", "enum"):
                return "class" if s.text != "enum" else "init"
            elif depth == 0 and s.kind == "punct" and s.text == "->":
                return "function"
            k -= 1
        if _is(t, ";", "{", "}", ":"):
            if t.text == "}" and not code:
                # A constructor's body after a braced member initializer.
                opened = self.partner.get(i - 1)
                if opened is not None and self.kind_of.get(opened) == "init":
                    return "function"
            return "block" if code else ("init" if parent == "init" else "namespace")
        return "init"

    def _classify(self):
        stack = []
        tokens = self.tokens
        for i, t in enumerate(tokens):
            self.enclosing[i] = stack[-1] if stack else None
            if t.kind != "punct":
                continue
            if t.text == "{":
                parent = self.kind_of.get(stack[-1]) if stack else None
                self.kind_of[i] = self._brace_kind(i, parent)
                stack.append(i)
            elif t.text == "}" and stack:
                stack.pop()
        for i, t in enumerate(tokens):
            if t.kind == "ident" and t.text in COMPILE_TIME:
                j = i + 1
                if j < len(tokens) and _is(tokens[j], "("):
                    self.skip.update(range(i, self.partner.get(j, j) + 1))
            if _is(t, "[") and i + 1 < len(tokens) and _is(tokens[i + 1], "["):
                close = self.partner.get(i, i)
                self.skip.update(range(i, close + 1))
            if t.kind == "ident" and t.text in ("extern", "operator"):
                self.skip.add(i + 1)
            if t.kind == "ident" and t.text == "template" and i + 1 < len(tokens) and _is(tokens[i + 1], "<"):
                self.skip.update(range(i, self._template_end(i + 1) + 1))

    def _template_end(self, i):
        depth = 0
        for k in range(i, len(self.tokens)):
            s = self.tokens[k]
            if s.text == "<":
                depth += 1
            elif s.text == ">":
                depth -= 1
            elif s.text == ">>":
                depth -= 2
            if depth <= 0 or s.text in ("{", ";"):
                return k
        return i

    def in_code(self, i):
        e = self.enclosing[i]
        return e is not None and self.kind_of[e] not in ("namespace", "class", "init")

    def statement_start(self, i):
        """Whether token i begins a statement in a function body."""
        if not self.in_code(i):
            return False
        t = self.prev(i)
        if _is(t, ";", "{", "}", "else"):
            return True
        if _is(t, ")"):
            return self.header_keyword(i - 1) in ("if", "for", "while")
        return False

    def unbraced_body(self, i):
        t = self.prev(i)
        if _is(t, "else"):
            return True
        return _is(t, ")") and self.header_keyword(i - 1) in ("if", "for", "while")


def _statement_end(scan, i):
    """Index of the ; that ends the statement starting at i, skipping brackets."""
    k = i
    while k < len(scan.tokens):
        t = scan.tokens[k]
        if t.kind == "punct" and t.text in "([{" and k in scan.partner:
            k = scan.partner[k] + 1
            continue
        if _is(t, ";"):
            return k
        if _is(t, "}", ")", "]"):
            return None
        k += 1
    return None


def _call_statement_end(scan, i):
    """End (the ;) of a statement at i that is one call: f(x); a.b->c(x); ns::f(x).g(y);"""
    tokens = scan.tokens
    t = tokens[i]
    if t.kind != "ident" or (t.text in KEYWORDS and t.text != "this"):
        return None
    k, last_call = i + 1, False
    while k < len(tokens):
        s = tokens[k]
        if _is(s, "::", ".", "->") and k + 1 < len(tokens) and tokens[k + 1].kind == "ident":
            k, last_call = k + 2, False
        elif _is(s, "(", "[") and k in scan.partner:
            last_call = s.text == "("
            k = scan.partner[k] + 1
        elif _is(s, ";"):
            return k if last_call else None
        else:
            return None
    return None


def _integer_plus_one(text):
    m = INTEGER.match(text)
    if not m:
        return None
    digits, suffix = m.group(1).replace("'", ""), m.group(2)
    if digits[:2] in ("0x", "0X"):
        upper = any(c.isupper() for c in digits[2:])
        return digits[:2] + format(int(digits, 16) + 1, "X" if upper else "x") + suffix
    if digits[:2] in ("0b", "0B"):
        return digits[:2] + format(int(digits[2:], 2) + 1, "b") + suffix
    if len(digits) > 1 and digits.startswith("0"):
        return "0" + format(int(digits, 8) + 1, "o") + suffix
    return str(int(digits) + 1) + suffix


def _string_first_char(token):
    """The literal with its first character replaced (or one added to "")."""
    text = token.text
    raw = re.match(r'(u8|u|U|L)?R"([^(]*)\(', text)
    if raw:
        body = raw.end()
        end_body = text.rfind(")" + raw.group(2) + '"')
        first_end = body + 1 if end_body > body else body
    else:
        body = text.index('"') + 1
        end_body = text.rindex('"')
        if text[body:end_body].startswith("\\"):
            m = re.match(r"\\(x[0-9a-fA-F]+|[0-7]{1,3}|u[0-9a-fA-F]{4}|U[0-9a-fA-F]{8}|.)", text[body:])
            first_end = body + m.end()
        else:
            first_end = body + 1 if end_body > body else body
    first = text[body:first_end]
    new = "X" if first != "X" else "Y"
    return text[:body] + new + text[first_end:]


def sites(text):
    """Every mutation site of one file's text, in order of position."""
    tokens = tokenize(text)
    scan = _Scan(tokens)
    found = []
    line_starts = [0] + [m.end() for m in re.finditer("\n", text)]

    def add(op, start, end, replacement, line):
        col = start - line_starts[line - 1] + 1
        found.append(Site(op, start, end, replacement, line, col, text[start:end]))

    for i, t in enumerate(tokens):
        if i in scan.skip:
            continue
        prev = scan.prev(i)
        nxt = tokens[i + 1] if i + 1 < len(tokens) else None
        if t.kind == "punct" and scan.in_code(i):
            if t.text in ("<", ">") and t.spaced_before and t.spaced_after:
                add("cmp", t.start, t.end, t.text + "=", t.line)
            elif t.text in ("<=", ">="):
                add("cmp", t.start, t.end, t.text[0], t.line)
            elif t.text in ("==", "!="):
                add("eq", t.start, t.end, "!=" if t.text == "==" else "==", t.line)
        if t.kind == "number":
            pure_virtual = _is(prev, "=") and _is(nxt, ";") and i > 1 and _is(
                tokens[i - 2], ")", "const", "override", "noexcept", "final")
            plus_one = _integer_plus_one(t.text)
            if plus_one and not pure_virtual:
                add("const", t.start, t.end, plus_one, t.line)
        if t.kind == "string":
            add("string", t.start, t.end, _string_first_char(t), t.line)
        if t.kind == "ident" and scan.statement_start(i):
            if t.text == "return" and (scan.unbraced_body(i) or
                                       str(scan.kind_of.get(scan.enclosing[i])).startswith("control-")) \
                    and scan.kind_of.get(scan.enclosing[i]) != "control-switch":
                end = _statement_end(scan, i)
                if end is not None:
                    add("return", t.start, tokens[end].end, "{}", t.line)
            else:
                end = _call_statement_end(scan, i)
                if end is not None:
                    add("call", t.start, tokens[end].end, "{}", t.line)
        if _is(t, "if") and _is(nxt, "(") and (i + 1) in scan.partner:
            open_, close = i + 1, scan.partner[i + 1]
            first = open_ + 1
            depth = 0
            assigns = False
            for k in range(open_ + 1, close):
                s = tokens[k]
                if s.kind == "punct" and s.text in "([{":
                    depth += 1
                elif s.kind == "punct" and s.text in ")]}":
                    depth -= 1
                elif depth == 0 and _is(s, ";"):
                    first, assigns = k + 1, False
                elif depth == 0 and _is(s, "="):
                    assigns = True
            if not assigns and first < close:
                a, b = tokens[first].start, tokens[close - 1].end
                add("negate", a, b, "!(" + text[a:b] + ")", tokens[first].line)
    return found
