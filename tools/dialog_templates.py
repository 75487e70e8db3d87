#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The dialog templates of TerminaTool from their one source.

Every template is a table app/resources/templates/<number>_<role>.dlg in
dialog units.  This script makes from it

  * a Qt Designer form (--ui OUT TABLE): what the Qt build compiles with uic;
  * a Windows resource script (--rc OUT TABLE...): one DIALOGEX per table,
    UTF-8 with its code page pragma, for the Windows build.

Table format, one statement a line, '#' starts a comment line:

  template <number> <role>          first statement
  kind page|dialog                  a child page or a window of its own
  size <w> <h> [option...]          the template's size
  caption "<text>"                  the window title (dialogs)
  rounding nearest|floor|floor-size how its dialog units became pixels
  <kind> <name> <id|-> <x> <y> <w> <h> [option...]   one control

Control kinds: label bitmap frame edit editex check radio button group combo
date datetime spin tab tree.  The id '-' is a control without a number
(IDC_STATIC).  Options are key=value, the value in double quotes where it
holds blanks; keys are Qt property names (text, default, readOnly, ...)
and these three of the table's own:

  round=<rounding>  this control was converted with another rounding than
                    the template's;
  qt=x,y,w,h        the Qt form places this control in pixels by hand
                    (never more than one pixel from the converted units);
  field=<h>         a combo box's closed height in dialog units (its <h> is
                    the height with the list open, as Windows wants it).

Pixels from dialog units: the base units of an 8-point "MS Shell Dlg" at
96 dpi are 6 x 13 pixels, so x * 6 / 4 and y * 13 / 8.  'nearest' rounds
each edge to the nearest pixel (ties to even), the width being the
difference of the edges; 'floor' truncates each edge; 'floor-size'
truncates the position and the size each on its own.
"""

import argparse
import math
import os
import shlex
import sys
from fractions import Fraction
from xml.sax.saxutils import escape

ROUNDINGS = ("nearest", "floor", "floor-size")
# The one date format of the date pickers (toolkit/win32 sets it).
DATE_FORMAT = "dd.MM.yyyy"

# Control kind: Qt class.
QT_CLASS = {
    "label": "QLabel",
    "bitmap": "QLabel",
    "frame": "QFrame",
    "edit": "QLineEdit",
    "editex": "CEditEx",
    "check": "QCheckBox",
    "radio": "QRadioButton",
    "button": "QPushButton",
    "group": "QGroupBox",
    "combo": "QComboBox",
    "date": "QDateEdit",
    "datetime": "QDateTimeEdit",
    "spin": "QSpinBox",
    "tab": "QTabWidget",
    "tree": "QTreeWidget",
}

# Qt property: value element.  Properties the widget class does not know
# (stdset="0") are read by the program with QObject::property().
PROPERTY_TYPE = {
    "text": "string",
    "title": "string",
    "displayFormat": "string",
    "accessibleName": "string",
    "accessibleDescription": "string",
    "toolTip": "string",
    "default": "bool",
    "autoDefault": "bool",
    "readOnly": "bool",
    "enabled": "bool",
    "visible": "bool",
    "wordWrap": "bool",
    "calendarPopup": "bool",
    "headerHidden": "bool",
    "rootIsDecorated": "bool",
    "maxLength": "number",
    "bitmapId": "number",
    "echoMode": "enum",
    "buttonSymbols": "enum",
    "focusPolicy": "enum",
    "frameShape": "enum",
    "frameShadow": "enum",
    "alignment": "set",
}
DYNAMIC_PROPERTIES = {"bitmapId"}
TABLE_OPTIONS = {"round", "qt", "field"}


class TemplateError(Exception):
    pass


class Control:
    def __init__(self, kind, name, ident, rect, options, line):
        self.kind = kind
        self.name = name
        self.ident = ident  # int or None
        self.rect = rect  # dialog units (x, y, w, h)
        self.options = options  # ordered dict of str -> str
        self.line = line

    def prop(self, key, default=None):
        return self.options.get(key, default)

    def flag(self, key):
        return self.options.get(key) == "true"


class Template:
    def __init__(self, path):
        self.path = path
        self.number = None
        self.role = None
        self.kind = "page"
        self.size = None
        self.size_options = {}
        self.caption = None
        self.rounding = "nearest"
        self.controls = []


def _int(text, where):
    try:
        return int(text)
    except ValueError:
        raise TemplateError(f"{where}: '{text}' is not a whole number") from None


def _options(words, where, allowed=None):
    options = {}
    for word in words:
        key, sep, value = word.partition("=")
        if not sep:
            raise TemplateError(f"{where}: option '{word}' is not key=value")
        if allowed is not None and key not in allowed:
            raise TemplateError(f"{where}: unknown option '{key}'")
        if key not in TABLE_OPTIONS and key not in PROPERTY_TYPE:
            raise TemplateError(f"{where}: unknown property '{key}'")
        if key in options:
            raise TemplateError(f"{where}: '{key}' given twice")
        if PROPERTY_TYPE.get(key) == "bool" and value not in ("true", "false"):
            raise TemplateError(f"{where}: '{key}' takes true or false")
        if PROPERTY_TYPE.get(key) == "number":
            _int(value, where)
        if key == "round" and value not in ROUNDINGS:
            raise TemplateError(f"{where}: unknown rounding '{value}'")
        options[key] = value
    return options


def parse(path):
    """Reads one table; raises TemplateError with file:line on any fault."""
    tpl = Template(path)
    names = set()
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, raw in enumerate(lines, 1):
        where = f"{path}:{number}"
        text = raw.strip()
        if not text or text.startswith("#"):
            continue
        try:
            words = shlex.split(text, comments=False, posix=True)
        except ValueError as e:
            raise TemplateError(f"{where}: {e}") from None
        head, args = words[0], words[1:]
        if tpl.number is None and head != "template":
            raise TemplateError(f"{where}: the table must begin with 'template'")
        if head == "template":
            if tpl.number is not None or len(args) != 2:
                raise TemplateError(f"{where}: 'template <number> <role>' once, first")
            tpl.number = _int(args[0], where)
            tpl.role = args[1]
        elif head == "kind":
            if len(args) != 1 or args[0] not in ("page", "dialog"):
                raise TemplateError(f"{where}: 'kind page' or 'kind dialog'")
            tpl.kind = args[0]
        elif head == "size":
            if len(args) < 2:
                raise TemplateError(f"{where}: 'size <w> <h>'")
            tpl.size = (_int(args[0], where), _int(args[1], where))
            tpl.size_options = _options(args[2:], where, allowed={"round", "qt"})
        elif head == "caption":
            if len(args) != 1:
                raise TemplateError(f"{where}: 'caption \"<text>\"'")
            tpl.caption = args[0]
        elif head == "rounding":
            if len(args) != 1 or args[0] not in ROUNDINGS:
                raise TemplateError(f"{where}: rounding is one of {', '.join(ROUNDINGS)}")
            tpl.rounding = args[0]
        elif head in QT_CLASS:
            if len(args) < 6:
                raise TemplateError(f"{where}: '{head} <name> <id|-> <x> <y> <w> <h> [option...]'")
            name = args[0]
            if not name.isidentifier() or name in names:
                raise TemplateError(f"{where}: control name '{name}' is not a new identifier")
            names.add(name)
            ident = None if args[1] == "-" else _int(args[1], where)
            rect = tuple(_int(v, where) for v in args[2:6])
            options = _options(args[6:], where)
            if "field" in options and head != "combo":
                raise TemplateError(f"{where}: only a combo box has a field height")
            if head == "combo" and "field" not in options and "qt" not in options:
                raise TemplateError(f"{where}: a combo box needs field=<closed height>")
            if head in ("date", "datetime") and options.get("displayFormat", DATE_FORMAT) != DATE_FORMAT:
                raise TemplateError(f"{where}: a date picker shows its date as {DATE_FORMAT} (on Windows too)")
            if ident is not None and any(c.ident == ident for c in tpl.controls):
                raise TemplateError(f"{where}: control number {ident} used twice")
            tpl.controls.append(Control(head, name, ident, rect, options, number))
        else:
            raise TemplateError(f"{where}: unknown statement '{head}'")
    if tpl.number is None or tpl.size is None:
        raise TemplateError(f"{path}: a table needs 'template' and 'size'")
    if tpl.kind == "dialog" and tpl.caption is None:
        raise TemplateError(f"{path}: a dialog needs a caption")
    return tpl


def _pixels(rounding, x, w, num, den):
    a = Fraction(x * num, den)
    b = Fraction((x + w) * num, den)
    if rounding == "nearest":
        return round(a), round(b) - round(a)
    if rounding == "floor":
        return math.floor(a), math.floor(b) - math.floor(a)
    return math.floor(a), math.floor(Fraction(w * num, den))


def to_pixels(rect, rounding):
    """Dialog-unit rectangle -> Qt pixel rectangle (x, y, w, h)."""
    x, y, w, h = rect
    px, pw = _pixels(rounding, x, w, 3, 2)
    py, ph = _pixels(rounding, y, h, 13, 8)
    return px, py, pw, ph


def _qt_rect(text, count, where):
    parts = text.split(",")
    if len(parts) != count:
        raise TemplateError(f"{where}: qt= takes {count} whole numbers")
    return tuple(_int(p, where) for p in parts)


# How far a hand-placed Qt control may lie from its dialog units: the
# units are the nearest to the pixels, so one pixel on each edge.
HAND_PLACED_SLACK = 1


def _edges(rect):
    x, y, w, h = rect
    return (x, y, x + w, y + h)


def _check_hand_placed(pixels, units, where, compare=4):
    converted = _edges(to_pixels(units, "nearest"))
    placed = _edges(pixels)
    for edge in range(4):
        if edge == 3 and compare == 3:
            continue
        if abs(converted[edge] - placed[edge]) > HAND_PLACED_SLACK:
            raise TemplateError(
                f"{where}: qt={','.join(map(str, pixels))} lies more than {HAND_PLACED_SLACK} pixel from "
                f"the control's dialog units ({','.join(map(str, to_pixels(units, 'nearest')))})")


def qt_geometry(tpl, control):
    where = f"{tpl.path}:{control.line}"
    x, y, w, h = control.rect
    if control.kind == "combo" and "field" in control.options:
        h = _int(control.options["field"], where)
    if "qt" in control.options:
        pixels = _qt_rect(control.options["qt"], 4, where)
        # A combo box without a field height is compared without its height.
        _check_hand_placed(pixels, (x, y, w, h), where, 3 if control.kind == "combo" and h == control.rect[3] else 4)
        return pixels
    return to_pixels((x, y, w, h), control.prop("round", tpl.rounding))


def qt_size(tpl):
    if "qt" in tpl.size_options:
        w, h = _qt_rect(tpl.size_options["qt"], 2, tpl.path)
        _check_hand_placed((0, 0, w, h), (0, 0) + tpl.size, tpl.path)
        return w, h
    _, _, w, h = to_pixels((0, 0) + tpl.size, tpl.size_options.get("round", tpl.rounding))
    return w, h


# --- Qt Designer form -------------------------------------------------------


def _rect_xml(x, y, w, h):
    return f"<rect><x>{x}</x><y>{y}</y><width>{w}</width><height>{h}</height></rect>"


def _property_xml(key, value):
    kind = PROPERTY_TYPE[key]
    stdset = ' stdset="0"' if key in DYNAMIC_PROPERTIES else ""
    return f'<property name="{key}"{stdset}><{kind}>{escape(value)}</{kind}></property>'


def ui_text(tpl):
    cls = f"Dlg{tpl.number}"
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f"<!-- Template {tpl.number} ({tpl.role}), made by tools/dialog_templates.py from",
        f"     app/resources/templates/{os.path.basename(tpl.path)}: edit that table, not this form. -->",
        '<ui version="4.0">',
        f" <class>{cls}</class>",
        f' <widget class="QWidget" name="{cls}">',
        f'  <property name="geometry">{_rect_xml(0, 0, *qt_size(tpl))}</property>',
    ]
    if tpl.caption is not None:
        out.append(f'  <property name="windowTitle"><string>{escape(tpl.caption)}</string></property>')
    for c in tpl.controls:
        out.append(f'  <widget class="{QT_CLASS[c.kind]}" name="{c.name}">')
        out.append(f'   <property name="geometry">{_rect_xml(*qt_geometry(tpl, c))}</property>')
        if c.ident is not None:
            out.append(f'   <property name="ctrlId" stdset="0"><number>{c.ident}</number></property>')
        for key, value in c.options.items():
            if key not in TABLE_OPTIONS:
                out.append("   " + _property_xml(key, value))
        if c.kind == "tree":
            out.append('   <column><property name="text"><string notr="true">1</string></property></column>')
        out.append("  </widget>")
    out.append(" </widget>")
    if any(c.kind == "editex" for c in tpl.controls):
        out += [
            " <customwidgets>",
            "  <customwidget>",
            "   <class>CEditEx</class>",
            "   <extends>QLineEdit</extends>",
            "   <header>editex.h</header>",
            "  </customwidget>",
            " </customwidgets>",
        ]
    out += [" <resources/>", " <connections/>", "</ui>", ""]
    return "\n".join(out)


# --- Windows resource script ------------------------------------------------


def _rc_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '""') + '"'


def _rc_id(control):
    return "IDC_STATIC" if control.ident is None else str(control.ident)


def _common_styles(control):
    styles = []
    if control.prop("enabled") == "false":
        styles.append("WS_DISABLED")
    if control.prop("visible") == "false":
        styles.append("NOT WS_VISIBLE")
    return styles


def _rc_control(c):
    """One control statement of a DIALOGEX body."""
    x, y, w, h = c.rect
    where = f"{x}, {y}, {w}, {h}"
    text = _rc_string(c.prop("text", c.prop("title", "")))
    ident = _rc_id(c)
    extra = _common_styles(c)

    def styles(*base):
        return " | ".join(list(base) + extra)

    def generic(cls, *base):
        return f"CONTROL {text}, {ident}, {_rc_string(cls)}, {styles(*base)}, {where}"

    if c.kind == "label":
        align = c.prop("alignment", "")
        word = "CTEXT" if "Center" in align else "RTEXT" if "AlignRight" in align else "LTEXT"
        # A framed label (a picture's place) has the sunken edge.
        framed = c.prop("frameShape", "QFrame::NoFrame") != "QFrame::NoFrame"
        style = styles(*(["SS_SUNKEN"] if framed else []))
        return f"{word} {text}, {ident}, {where}" + (f", {style}" if style else "")
    if c.kind == "bitmap":
        image = c.prop("bitmapId")
        return f"CONTROL {image}, {ident}, \"Static\", {styles('SS_BITMAP')}, {where}"
    if c.kind == "frame":
        return generic("Static", "SS_ETCHEDFRAME")
    if c.kind in ("edit", "editex"):
        base = ["ES_AUTOHSCROLL"]
        if c.flag("readOnly"):
            base.append("ES_READONLY")
        if c.prop("echoMode") == "QLineEdit::Password":
            base.append("ES_PASSWORD")
        return f"EDITTEXT {ident}, {where}, {styles(*base, 'WS_TABSTOP')}"
    if c.kind == "check":
        return generic("Button", "BS_AUTOCHECKBOX", "WS_TABSTOP")
    if c.kind == "radio":
        return generic("Button", "BS_AUTORADIOBUTTON", "WS_TABSTOP")
    if c.kind == "button":
        word = "DEFPUSHBUTTON" if c.flag("default") else "PUSHBUTTON"
        return f"{word} {text}, {ident}, {where}, {styles('WS_TABSTOP')}"
    if c.kind == "group":
        style = styles()
        return f"GROUPBOX {text}, {ident}, {where}" + (f", {style}" if style else "")
    if c.kind == "combo":
        return f"COMBOBOX {ident}, {where}, {styles('CBS_DROPDOWNLIST', 'WS_VSCROLL', 'WS_TABSTOP')}"
    if c.kind in ("date", "datetime"):
        return generic("SysDateTimePick32", "DTS_SHORTDATEFORMAT", "WS_TABSTOP")
    if c.kind == "spin":
        return generic("msctls_updown32", "UDS_SETBUDDYINT", "UDS_ARROWKEYS", "UDS_AUTOBUDDY", "UDS_ALIGNRIGHT")
    if c.kind == "tab":
        base = ["TCS_FOCUSNEVER"] if c.prop("focusPolicy") == "Qt::NoFocus" else ["WS_TABSTOP"]
        return generic("SysTabControl32", *base)
    if c.kind == "tree":
        # No horizontal scroll bar: the captions fit, but the tree counts a
        # few pixels more than it draws for the longest one and would show
        # a bar over the list that moves by just those pixels.
        return generic("SysTreeView32", "TVS_HASBUTTONS", "TVS_HASLINES", "TVS_LINESATROOT", "TVS_SHOWSELALWAYS",
                       "TVS_NOHSCROLL", "WS_BORDER", "WS_TABSTOP")
    raise TemplateError(f"no resource form for control kind '{c.kind}'")


def _with_group(statement, control):
    """The statement with WS_GROUP added to its styles."""
    x, y, w, h = control.rect
    where = f"{x}, {y}, {w}, {h}"
    if statement.startswith(("LTEXT", "CTEXT", "RTEXT", "GROUPBOX")):
        # After the place come the styles (the next field would be the
        # extended styles).
        return statement + (", WS_GROUP" if statement.endswith(where) else " | WS_GROUP")
    if statement.startswith(("CONTROL", "COMBOBOX", "EDITTEXT", "PUSHBUTTON", "DEFPUSHBUTTON")):
        if statement.endswith(where):  # CONTROL: styles come before the place
            head, sep, tail = statement.rpartition(", " + where)
            return f"{head} | WS_GROUP{sep}{tail}"
        return statement + " | WS_GROUP"
    return statement + ", WS_GROUP"


def rc_text(templates):
    out = [
        "// The dialog templates of TerminaTool, made by tools/dialog_templates.py",
        "// from app/resources/templates/*.dlg: edit those tables, not this file.",
        "#pragma code_page(65001)",
        "#include <windows.h>",
        "#include <commctrl.h>",
        "#ifndef IDC_STATIC",
        "#define IDC_STATIC (-1)",
        "#endif",
        "",
    ]
    for tpl in sorted(templates, key=lambda t: t.number):
        w, h = tpl.size
        if tpl.kind == "dialog":
            style = "DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU"
        else:
            style = "DS_SETFONT | DS_CONTROL | WS_CHILD"
        out.append(f"// {tpl.role}")
        out.append(f"{tpl.number} DIALOGEX 0, 0, {w}, {h}")
        out.append(f"STYLE {style}")
        if tpl.caption is not None:
            out.append(f"CAPTION {_rc_string(tpl.caption)}")
        out.append('FONT 8, "MS Shell Dlg", 0, 0, 0x1')
        out.append("BEGIN")
        for index, c in enumerate(tpl.controls):
            statement = _rc_control(c)
            # Radio buttons take turns within a group: a run of them opens
            # one, and the control after the run opens the next.
            after_run = index > 0 and tpl.controls[index - 1].kind == "radio"
            if (c.kind == "radio") != after_run:
                statement = _with_group(statement, c)
            out.append("    " + statement)
        out.append("END")
        out.append("")
    return "\n".join(out)


def _write(path, text):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--ui", metavar="OUT", help="write the Qt form of the one table")
    what.add_argument("--rc", metavar="OUT", help="write the resource script of all tables")
    parser.add_argument("tables", nargs="+")
    args = parser.parse_args(argv)
    try:
        templates = [parse(path) for path in args.tables]
        if args.ui:
            if len(templates) != 1:
                parser.error("--ui takes one table")
            _write(args.ui, ui_text(templates[0]))
        else:
            numbers = [t.number for t in templates]
            if len(numbers) != len(set(numbers)):
                raise TemplateError("two tables have the same template number")
            _write(args.rc, rc_text(templates))
    except TemplateError as e:
        print(f"dialog_templates: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
