#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The dialog templates the build made: the Qt forms and the resource script
come from the same tables and must agree, control for control; and the
generator converts units as the forms need and refuses a faulty table."""

import argparse
import glob
import os
import re
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

ARGS = None
dt = None  # tools/dialog_templates.py, imported in main()

# How far a control's Qt pixels may lie from its Windows dialog units
# converted to pixels (x 6/4, y 13/8, nearest): the roundings the forms use
# and the hand-placed controls stay within this.
SLACK = 2


def number_of(path):
    return int(re.match(r"\d+", os.path.basename(path)).group())


def read_forms(folder):
    """Template number -> {control number: (Qt class, x, y, w, h)}."""
    forms = {}
    for path in glob.glob(os.path.join(folder, "*.ui")):
        root = ET.parse(path).getroot()
        controls = {}
        for widget in root.find("widget").iter("widget"):
            ident = widget.find("property[@name='ctrlId']/number")
            if ident is None:
                continue
            rect = widget.find("property[@name='geometry']/rect")
            place = tuple(int(rect.find(k).text) for k in ("x", "y", "width", "height"))
            controls[int(ident.text)] = (widget.get("class"),) + place
        forms[number_of(path)] = controls
    return forms


_STRING = r'"(?:[^"]|"")*"'
_STATEMENT = re.compile(
    r"^\s*(?:(?P<text>LTEXT|CTEXT|RTEXT|GROUPBOX|PUSHBUTTON|DEFPUSHBUTTON)\s+" + _STRING + r"\s*,"
    r"|(?P<bare>EDITTEXT|COMBOBOX)\s"
    r"|CONTROL\s+(?:" + _STRING + r"|\d+)\s*,)"
    r"\s*(?P<id>-?\d+|IDC_STATIC)\s*,(?P<rest>.*)$")


def read_resource_script(path):
    """Template number -> {control number: (statement, x, y, w, h)} of the
    DIALOGEX blocks, read without the generator's help."""
    dialogs = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            head = re.match(r"^(\d+)\s+DIALOGEX\b", line)
            if head:
                current = dialogs.setdefault(int(head.group(1)), {})
                continue
            if line.strip() == "END":
                current = None
            if current is None:
                continue
            m = _STATEMENT.match(line)
            if not m or m.group("id") in ("IDC_STATIC", "-1"):
                continue
            fields = [p.strip() for p in m.group("rest").split(",")]
            numbers = [int(p) for p in fields if re.fullmatch(r"-?\d+", p)]
            # The place is the four numbers of the statement (CONTROL puts
            # its class and styles before them, the others their styles after).
            statement = line.split()[0]
            ident = int(m.group("id"))
            if ident in current:
                raise AssertionError(f"template {current}: control {ident} twice in the resource script")
            current[ident] = (statement,) + tuple(numbers[:4])
    return dialogs


class BuiltTemplates(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tables = sorted(glob.glob(os.path.join(ARGS.tables, "*.dlg")))
        cls.forms = read_forms(ARGS.forms)
        cls.dialogs = read_resource_script(ARGS.rc)

    def test_every_table_made_one_form_and_one_dialog(self):
        numbers = {number_of(p) for p in self.tables}
        self.assertTrue(numbers)
        self.assertEqual(numbers, set(self.forms), "forms in the build")
        self.assertEqual(numbers, set(self.dialogs), "DIALOGEX blocks in the resource script")

    def test_both_sides_have_the_same_controls_in_the_same_place(self):
        for number, form in sorted(self.forms.items()):
            dialog = self.dialogs.get(number, {})
            with self.subTest(template=number):
                self.assertEqual(set(form), set(dialog), "control numbers of the form and of the DIALOGEX")
                for ident in sorted(set(form) & set(dialog)):
                    qt_class, *pixels = form[ident]
                    statement, *units = dialog[ident]
                    converted = dt.to_pixels(tuple(units), "nearest")
                    edges = lambda r: (r[0], r[1], r[0] + r[2], r[1] + r[3])
                    # A combo box's height in the script is that of its open list.
                    count = 3 if qt_class == "QComboBox" else 4
                    for a, b in list(zip(edges(converted), edges(pixels)))[:count]:
                        self.assertLessEqual(abs(a - b), SLACK,
                                             f"control {ident}: {statement} {units} against Qt {pixels}")


class Generator(unittest.TestCase):
    def table(self, body):
        f = tempfile.NamedTemporaryFile("w", suffix=".dlg", delete=False, encoding="utf-8")
        f.write(body)
        f.close()
        self.addCleanup(os.unlink, f.name)
        return f.name

    def test_roundings_give_the_pixels_of_the_forms(self):
        # The command row, nearest with ties to even: 244.5 -> 244, 319.5 -> 320.
        self.assertEqual(dt.to_pixels((7, 207, 56, 18), "nearest"), (10, 336, 84, 30))
        self.assertEqual(dt.to_pixels((163, 207, 50, 18), "nearest"), (244, 336, 76, 30))
        self.assertEqual(dt.to_pixels((3, 3, 187, 26), "nearest"), (4, 5, 281, 42))
        # Edges truncated: 10.5 -> 10, 145.5 -> 145, 24.375 -> 24, 40.625 -> 40.
        self.assertEqual(dt.to_pixels((7, 15, 90, 10), "floor"), (10, 24, 135, 16))
        # Position and size truncated each on its own: 9.75 -> 9, 19.5 -> 19.
        self.assertEqual(dt.to_pixels((6, 6, 66, 12), "floor-size"), (9, 9, 99, 19))

    def test_one_table_makes_both_forms(self):
        path = self.table(
            'template 900 sample\nkind dialog\nsize 100 50\ncaption "Say \\"hi\\" & go"\n'
            "rounding nearest\n"
            'label   hint  -    2  4  60  8 text="a, b"\n'
            "editex  name  1001 2 14 60 12 qt=3,23,90,19 maxLength=18\n"
            "combo   list  1002 2 30 60 40 field=12\n"
            "radio   one   1003 70 4 25 10 text=One\n"
            "radio   two   1004 70 16 25 10 text=Two\n"
            'button  ok    1    70 30 25 14 text="&OK" default=true\n'
            "label   pic   1005 2 46 60 8 frameShape=QFrame::Box frameShadow=QFrame::Sunken\n")
        tpl = dt.parse(path)
        root = ET.fromstring(dt.ui_text(tpl).encode("utf-8"))
        top = root.find("widget")
        self.assertEqual(root.find("class").text, "Dlg900")
        self.assertEqual(top.find("property[@name='windowTitle']/string").text, 'Say "hi" & go')
        widgets = {w.get("name"): w for w in top.findall("widget")}
        self.assertEqual(list(widgets), ["hint", "name", "list", "one", "two", "ok", "pic"])
        self.assertEqual(widgets["name"].get("class"), "CEditEx")
        self.assertEqual(root.find("customwidgets/customwidget/header").text, "editex.h")
        self.assertIsNone(widgets["hint"].find("property[@name='ctrlId']"))
        # The closed field (12 units), not the open list (40), makes the height.
        self.assertEqual(widgets["list"].find("property[@name='geometry']/rect/height").text, "19")
        self.assertEqual(widgets["ok"].find("property[@name='text']/string").text, "&OK")
        rc = dt.rc_text([tpl])
        self.assertIn('CAPTION "Say ""hi"" & go"', rc)
        self.assertIn('LTEXT "a, b", IDC_STATIC, 2, 4, 60, 8', rc)
        self.assertIn("COMBOBOX 1002, 2, 30, 60, 40,", rc)
        self.assertIn('DEFPUSHBUTTON "&OK", 1, 70, 30, 25, 14', rc)
        # Radio buttons form a group of their own.
        self.assertRegex(rc, r'"One", 1003, "Button", [^,]*WS_GROUP')
        self.assertNotRegex(rc, r'"Two", 1004, "Button", [^,]*WS_GROUP')
        self.assertRegex(rc, r'"&OK", 1, .*WS_GROUP')
        # A framed label is sunken on Windows too; a plain one is not.
        self.assertRegex(rc, r'LTEXT "", 1005, 2, 46, 60, 8, SS_SUNKEN\b')
        self.assertNotIn("SS_SUNKEN", rc.split("1005")[0])

    def test_faulty_tables_are_refused_with_their_line(self):
        head = "template 900 sample\nsize 100 50\n"
        faults = {  # body: (what the message says, line)
            "edit a 1 0 0 20 10\nedit b 1 0 12 20 10\n": ("used twice", 4),
            "edit a 1 0 0 20 10 colour=red\n": ("unknown property", 3),
            "edit a 1 0 0 20 10 readOnly=yes\n": ("true or false", 3),
            "combo a 1 0 0 20 40\n": ("field", 3),
            "edit a 1 10 10 20 10 qt=18,16,30,16\n": ("more than 1 pixel", 3),
            "edit a 1 10 10 20\n": ("<name> <id|->", 3),
            "edit a 1 10 10 20 10 round=ceil\n": ("unknown rounding", 3),
            "edit 2a 1 10 10 20 10\n": ("identifier", 3),
            "date a 1 10 10 50 12 displayFormat=MM/dd/yy\n": ("dd.MM.yyyy", 3),
        }
        for body, (message, line) in faults.items():
            with self.subTest(body=body):
                path = self.table(head + body)
                with self.assertRaises(dt.TemplateError) as caught:
                    tpl = dt.parse(path)
                    dt.ui_text(tpl)
                self.assertIn(message, str(caught.exception))
                self.assertIn(f"{path}:{line}:", str(caught.exception))
        with self.assertRaises(dt.TemplateError):
            dt.parse(self.table("size 100 50\ntemplate 900 sample\n"))
        with self.assertRaises(dt.TemplateError):
            dt.parse(self.table("template 900 sample\nkind dialog\nsize 100 50\n"))


def main():
    global ARGS, dt
    parser = argparse.ArgumentParser()
    parser.add_argument("--forms", required=True)
    parser.add_argument("--rc", required=True)
    parser.add_argument("--tables", required=True)
    parser.add_argument("--tool", required=True)
    ARGS, rest = parser.parse_known_args()
    sys.path.insert(0, ARGS.tool)
    import dialog_templates

    dt = dialog_templates
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
