#!/usr/bin/env python3
# Writes everycommand.vkasm, an applet that calls every command of the string,
# math, memblock and dos libraries and writes one "Name=result" line per call
# to everycommand.txt next to the applet (its current directory), and
# everycommand.expected, the lines it must write. Rerun after changing CASES.
import os

FUNC = object()  # the nested function f, kept in register 0
MARK = "answered"  # result not checked: the call only has to answer

# (command, arguments, expected line text or MARK; None = no result, "ok";
#  ("field", key, text) = a field of a table result; ("call", text) = calls
#  the function result)
CASES = [
    ("LowerStr", ["AbC"], "abc"), ("UpperStr", ["abc"], "ABC"), ("Val", ["$10"], "16"),
    ("StrStr", [2.5, 4], "2.5"), ("UnrightStr", ["abcdef", 2], "cdef"), ("UnleftStr", ["abcdef", 2], "abcd"),
    ("Chr", [65], "A"), ("MidStr", ["abcdef", 2, 3], "cde"), ("RightStr", ["abcdef", 2], "ef"),
    ("LeftStr", ["abcdef", 2], "ab"), ("FindStr", ["abcabc", "bc", 1, 2], "4"), ("AddStr", ["ab", 5], "ab5"),
    ("HexStr", [255], "$FF"), ("Asc", ["A"], "65"), ("StrLen", ["abc"], "3"),
    ("ReplaceStr", ["aaaa", "aa", "b"], "bb"), ("BinStr", [5, 7], "00000101"),
    ("SplitStr", ["a,b,,c", ","], ("field", 3, "c")), ("PadNum", [42, 5], "00042"),
    ("StrToArray", ["AB"], ("field", 1, "66")), ("TrimStr", ["xxabcxx", "x", 0], "abcxx"),
    ("ToString", [0.1], "0.1"), ("ToNumber", ["ff", 16], "255"), ("UnmidStr", ["abcdef", 1, 2], "adef"),
    ("CountStr", ["aaaa", "aa"], "2"), ("InsertStr", ["abcdef", "XY", 2], "abXYcdef"),

    ("Abs", [-3], "3"), ("Sin", [0], "0"), ("Cos", [0], "1"), ("Tan", [0], "0"), ("ASin", [0], "0"),
    ("ACos", [1], "0"), ("ATan", [0], "0"), ("ATan2", [1, 1], "0.78539816339745"), ("Ceil", [1.5], "2"),
    ("Floor", [-0.5], "-1"), ("Mod", [7, 3], "1"), ("FrExp", [8], "0.5"), ("LdExp", [0.5, 4], "8"),
    ("Sqrt", [2], "1.4142135623731"), ("Min", [3, 1, 2], "1"), ("Max", [3, 1, 2], "3"), ("Log", [1000], "3"),
    ("Ld", [8], "3"), ("Ln", [1], "0"), ("Exp", [0], "1"), ("Deg", [3.141592653589793], "180"),
    ("Pow", [2, 10], "1024"), ("Rad", [180], "3.1415926535898"), ("Rnd", [1], "0"), ("RndF", [], MARK),
    ("Add", [1, 2], "3"), ("Sub", [1, 2], "-1"), ("Mul", [1.5, 2], "3"), ("Div", [1, 4], "0.25"),
    ("Round", [2.5], "2"), ("Int", [-2.7], "-2"), ("Frac", [-2.75], "-0.75"), ("Shr", [-1, 28], "15"),
    ("Shl", [1, 31], "2147483648"), ("Rt", [8, 3], "2"), ("Wrap", [-1, 0, 10], "9"), ("Limit", [15, 0, 10], "10"),
    ("BitSet", [0, 31], "2147483648"), ("BitClear", [-1, 0], "4294967294"), ("BitTest", [5, 2], "1"),
    ("BitXor", [-1, 1], "4294967294"), ("BitComplement", [0], "4294967295"), ("Sgn", [-0.1], "-1"),
    ("Sar", [-16, 2], "-4"), ("Ror", [1, 1, 7], "128"), ("Rol", [128, 1, 7], "1"), ("Cast", [255, 1, 7], "-1"),

    ("AllocMem", [1, 16], None), ("Poke", [1, 0, "hello", 3], None), ("Peek", [1, 0, 3], "hello"),
    ("FillMem", [1, 66, 2, 8], None), ("Peek", [1, 8, 3], "BB"), ("AllocMem", [2, 16], None),
    ("CopyMem", [1, 2, 16], None), ("Peek", [2, 0, 3], "hello"), ("DumpMem", [2, 6], None),
    ("OpenFile", [2, "mem.bin", 1006], None), ("WriteMem", [2, 1, 5], None), ("CloseFile", [2], None),
    ("OpenFile", [2, "mem.bin"], None), ("ReadMem", [2, 2, 5, 10], None), ("Peek", [2, 10, 3], "hello"),
    ("CloseFile", [2], None), ("FreeMem", [1], None), ("FreeMem", [2], None),

    ("GetCurrentDirectory", [], MARK), ("MakeDirectory", ["sub"], None), ("IsDirectory", ["sub"], "1"),
    ("OpenFile", [2, "sub/data.bin", 1006], None), ("WriteInt", [2, 1], None), ("WriteShort", [2, 65534], None),
    ("WriteChr", [2, 0x141], None), ("WriteFloat", [2, 1.5], None), ("WriteInt", [2, -2], None),
    ("WriteString", [2, "abcdef", 3], None), ("WriteLine", [2, "x"], None), ("FilePos", [2], "24"),
    ("FileLength", [2], "24"), ("FlushFile", [2], None), ("CloseFile", [2], None),
    ("OpenFile", [2, "sub/data.bin"], None), ("ReadInt", [2], "1"), ("ReadShort", [2], "65534"),
    ("ReadChr", [2], "65"), ("ReadFloat", [2], "1.5"), ("ReadInt", [2], "-2"), ("ReadString", [2, 3], "abc"),
    ("Eof", [2], "0"), ("ReadLine", [2], "x"), ("Eof", [2], "1"), ("Seek", [2, 4], None),
    ("SetIOMode", [0], None), ("ReadShort", [2], "65534"), ("CloseFile", [2], None),
    ("OpenFile", [2, "table.bin", 1006], None), ("WriteTable", [2, {"a": "VELLUM"}], None),
    ("WriteFunction", [2, FUNC], None), ("CloseFile", [2], None), ("OpenFile", [2, "table.bin"], None),
    ("ReadTable", [2], ("field", "a", "VELLUM")), ("ReadFunction", [2], ("call", "7")), ("CloseFile", [2], None),
    ("OpenFile", [2, "check.txt", 1006], None), ("WriteString", [2, "123456789"], None), ("CloseFile", [2], None),
    ("CRC32", ["check.txt"], "3421780262"), ("Exists", ["check.txt"], "1"), ("FileSize", ["check.txt"], "9"),
    ("PathPart", ["a/b/c.txt"], "a/b/"), ("FilePart", ["a/b/c.txt"], "c.txt"), ("FullPath", ["a", "b"], "a/b"),
    ("MatchPattern", ["check.txt", "check.txt"], MARK), ("CopyFile", ["check.txt", "copies"], None),
    ("FileSize", ["copies/check.txt"], "9"), ("Rename", ["check.txt", "moved.txt"], None),
    ("Exists", ["check.txt"], "0"), ("CompressFile", ["moved.txt", "pack"], MARK),
    ("DecompressFile", ["pack", "back"], "9"), ("GetFileAttributes", ["moved.txt"], MARK),
    ("SetFileAttributes", ["moved.txt", {}], None), ("DefineVirtualFile", ["moved.txt", 1, 3, "inner.txt"], MARK),
    ("GetTempFileName", [], MARK), ("ReadDirectory", [".", {}, {}], MARK),
    ("OpenDirectory", [3, "sub"], None), ("NextDirectoryEntry", [3], MARK), ("CloseDirectory", [3], None),
    ("ChangeDirectory", ["sub"], None), ("Exists", ["data.bin"], "1"), ("ChangeDirectory", [".."], None),
    ("DeleteFile", ["moved.txt"], None), ("Exists", ["moved.txt"], "0"),
    ("GetVolumeInfo", [".", 1], MARK), ("GetVolumeName", ["."], MARK),
    ("Execute", ["/bin/true"], None), ("Run", ["/bin/true"], None),
    ("WriteLine", [1, "WriteLine=ok"], None), ("CloseFile", [1], None),
]


def quote(text):
    out = []
    for ch in text.encode():
        c = chr(ch)
        out.append("\\" + c if c in '"\\' else c if 32 <= ch < 127 else "\\%d" % ch)
    return '"' + "".join(out) + '"'


def const(value):
    return quote(value) if isinstance(value, str) else "#" + repr(value)


def load(reg, value, code):
    if value is FUNC:
        code.append("  MOVE %d 0" % reg)
    elif isinstance(value, dict):
        code.append("  NEWTABLE %d" % reg)
        for key, item in value.items():  # through registers: RK reaches few constants
            code += ["  LOADK 14 %s" % const(key), "  LOADK 15 %s" % const(item), "  SETTABLE %d 14 15" % reg]
    else:
        code.append("  LOADK %d %s" % (reg, const(value)))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    code = ["; Generated by everycommand.py: every command of the string, math, memblock",
            "; and dos libraries, each result written as a line to everycommand.txt.",
            '.source "@everycommand"', ".line 1",
            "  CLOSURE 0 f",
            "  GETGLOBAL 1 \"openfile\"", "  LOADK 2 #1", '  LOADK 3 "everycommand.txt"', "  LOADK 4 #1006",
            "  CALL 1 4 1"]
    expected = []
    line = 1
    for name, args, result in CASES:
        line += 1
        code.append(".line %d" % line)
        # the writer and its handle first, the command above them
        code += ['  GETGLOBAL 1 "writeline"', "  LOADK 2 #1", "  LOADK 3 %s" % quote(name + "=")]
        code.append('  GETGLOBAL 4 "%s"' % name.lower())
        for i, value in enumerate(args):
            load(5 + i, value, code)
        code.append("  CALL 4 %d %d" % (len(args) + 1, 1 if result is None else 2))
        if name == "WriteLine" and args[0] == 1:  # writes the line itself
            code = code[:-len(args) - 5] + code[-len(args) - 2:]
            expected.append(args[1])
            continue
        if name == "CloseFile" and args[0] == 1:
            continue
        text = result
        if result is None:
            code.append('  LOADK 4 "ok"')
            text = "ok"
        elif result is MARK:
            code.append('  LOADK 4 "%s"' % MARK)
        elif result[0] == "field":
            code += ["  LOADK 5 %s" % const(result[1]), "  GETTABLE 4 4 5"]
            text = result[2]
        elif result[0] == "call":
            code.append("  CALL 4 1 2")
            text = result[1]
        code += ["  CONCAT 3 3 4", "  CALL 1 3 1"]
        expected.append(name + "=" + text)
    code += [".line %d" % (line + 1), "  RETURN 0 1", "",
             ".function f", ".linedefined 1", "  LOADK 0 #7", "  RETURN 0 2", ".end", ""]
    with open(os.path.join(here, "everycommand.vkasm"), "w") as f:
        f.write("\n".join(code))
    with open(os.path.join(here, "everycommand.expected"), "w") as f:
        f.write("\n".join(expected) + "\n")


main()
