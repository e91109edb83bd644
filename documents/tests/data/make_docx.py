#!/usr/bin/python3
"""Writes runs.docx, the Word fixture of the reader tests, with python-docx
(Debian package python3-docx): a title, runs split inside words, a tab, a
line break, a page break, an empty paragraph, a table and an entity."""
import docx
from docx.enum.text import WD_BREAK

d = docx.Document()
d.core_properties.title = "Runs & Breaks"
p = d.add_paragraph()
p.add_run("Hel")
p.add_run("lo")
p.add_run(" world")
p = d.add_paragraph()
p.add_run("Left")
p.add_run().add_tab()
p.add_run("Right")
p = d.add_paragraph()
p.add_run("Line one")
p.add_run().add_break()
p.add_run("Line two")
p = d.add_paragraph()
p.add_run("Before the page")
p.add_run().add_break(WD_BREAK.PAGE)
p.add_run("after the page")
d.add_paragraph("")
d.add_paragraph("Fish < chips & peas")
t = d.add_table(rows=1, cols=2)
t.cell(0, 0).text = "Cell A"
t.cell(0, 1).text = "Cell B"
d.save("runs.docx")
