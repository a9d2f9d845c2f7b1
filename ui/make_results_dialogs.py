#!/usr/bin/env python3
"""Writes the results dialog templates 106 (octave) and 107 (third-octave).

The two tables are large and regular, so they are generated from their
layout rules; the output is pasted into roomstat.rc, which stays the one
script that both builds read. Run: python3 make_results_dialogs.py
"""

CELL = "000.000"


def ctext(text, cid, x, y, w, h, style=None):
    tail = ", " + style if style else ""
    return f'    CTEXT           "{text}", {cid}, {x}, {y}, {w}, {h}{tail}'


def ltext(text, cid, x, y, w, h, style=None):
    tail = ", " + style if style else ""
    return f'    LTEXT           "{text}", {cid}, {x}, {y}, {w}, {h}{tail}'


def octave_dialog():
    out = [
        "// Octave results: one channel's eleven parameters in Lin and ten octave",
        "// bands (cells 1060 + 11 * band + parameter), the noise-correction row",
        "// (1020 + band) and the inter-channel rows LF, IACC, W IACC, Tau IACC",
        "// (3000, 3100, 3200, 3300 + band).",
        "106 DIALOG 73, 38, 557, 290",
        "STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU",
        'CAPTION "Acoustical Parameters"',
        'FONT 8, "MS Sans Serif"',
        "BEGIN",
        '    CONTROL         "", -1, "Static", SS_ETCHEDFRAME, 8, 5, 541, 17',
        ctext("OCTAVE BAND ACOUSTICAL PARAMETERS", 3156, 11, 9, 516, 9),
    ]
    for i in range(11):
        out.append(f'    CONTROL         "", -1, "Button", BS_GROUPBOX | BS_FLAT, {54 + 41 * i}, 43, 41, 200')
    out.append('    CONTROL         "", -1, "Static", SS_BLACKFRAME | SS_SUNKEN, 52, 46, 455, 199')
    headers = [("Lin", 62, 34), ("31.5", 106, 35), ("63", 149, 35), ("125", 188, 35), ("250", 228, 35),
               ("500", 268, 35), ("1k", 310, 35), ("2k", 351, 35), ("4k", 393, 35), ("8k", 436, 35),
               ("16k", 473, 35)]
    for text, x, y in headers:
        out.append(ctext(text, -1, x, y, 20, 8))
    # Per band: (x, width) of the parameter and N.C. rows, of LF and IACC,
    # and of W IACC and Tau IACC.
    columns = [((56, 35), (56, 35), (57, 34)), ((102, 27), (99, 35), (100, 34)),
               ((143, 27), (140, 35), (141, 34)), ((186, 27), (181, 35), (182, 34)),
               ((226, 27), (223, 35), (224, 34)), ((266, 27), (262, 35), (263, 34)),
               ((306, 27), (306, 27), (306, 27)), ((345, 35), (345, 35), (346, 34)),
               ((389, 27), (389, 27), (389, 27)), ((428, 34), (427, 35), (428, 34)),
               ((469, 34), (469, 34), (469, 34))]
    # C50 .. D50 of the two top bands sit in narrower cells.
    narrow = {9: (431, 27), 10: (471, 27)}
    rows_y = [50 + 12 * k for k in range(11)]
    for band, (param, lateral, binaural) in enumerate(columns):
        for k in range(11):
            x, w = narrow[band] if band in narrow and k < 3 else param
            out.append(ctext(CELL, 1060 + 11 * band + k, x, rows_y[k], w, 10, "SS_CENTERIMAGE"))
        out.append(ctext(CELL, 1020 + band, param[0], 182, param[1], 10, "SS_CENTERIMAGE"))
        out.append(ctext(CELL, 3000 + band, lateral[0], 198, lateral[1], 8, "SS_CENTERIMAGE"))
        out.append(ctext(CELL, 3100 + band, lateral[0], 210, lateral[1], 8, "SS_CENTERIMAGE"))
        out.append(ctext(CELL, 3200 + band, binaural[0], 222, binaural[1], 8, "SS_CENTERIMAGE"))
        out.append(ctext(CELL, 3300 + band, binaural[0], 234, binaural[1], 8, "SS_CENTERIMAGE"))
    labels = ["C50 (dB)", "C80 (dB)", "D50 (%)", "TS (ms)", "EDT (s)", "RT20 (s)", "r RT20", "RT30 (s)",
              "r RT30", "RTU (s)", "r RTU"]
    for k, text in enumerate(labels):
        out.append(ltext(text, -1, 5, rows_y[k], 33, 8))
        out.append(ltext(text, -1, 511, rows_y[k], 39, 8))
    # Labels of the lower rows: text, left ID, right ID, y, width.
    lower = [("N.C.", 3155, 1031, 182, None), ("LF", 1032, 1033, 198, None), ("IACC", 1034, 1037, 210, None),
             ("W IACC [ms]", 1035, 1038, 222, 43), ("Tau IACC [ms]", 1036, 1039, 234, 46)]
    for text, left, right, y, width in lower:
        out.append(ltext(text, left, 5, y, width or 33, 8))
        out.append(ltext(text, right, 511, y, width or 39, 8))
    out += [
        '    GROUPBOX        "RTU=RT User ", -1, 18, 255, 96, 23',
        ctext("", 3154, 23, 265, 88, 9),
        '    PUSHBUTTON      "Right Channel Parameters", 3150, 146, 258, 96, 20',
        '    PUSHBUTTON      "Copy to Clipboard", 3151, 253, 258, 96, 20',
        '    PUSHBUTTON      "&Help", 4, 423, 258, 52, 20',
        '    DEFPUSHBUTTON   "OK", 1, 481, 258, 52, 20',
        "END",
    ]
    return out


def third_octave_dialog():
    out = [
        "// Third-octave results: the wide band and 27 thirds in three blocks of",
        "// nine; cell 1500 + 3 * column + row, N.C. cell 1019 + column lying over",
        "// row 2, row labels 1810 + 3 * block + row.",
        "107 DIALOG 0, 0, 530, 265",
        "STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU",
        'CAPTION "Acoustical Parameters - 1/3 octave analisys"',
        'FONT 8, "MS Sans Serif"',
        "BEGIN",
        ctext("OCTAVE BAND ACOUSTICAL PARAMETERS", 3156, 7, 2, 516, 9),
        ltext("Wide Band", -1, 87, 15, 45, 10),
    ]
    headers = [("31.5", 191, 16), ("63 Hz", 313, 16), ("125 Hz", 439, 16), ("250 Hz", 191, 88),
               ("500 Hz", 313, 88), ("1 kHz", 440, 85), ("2 kHz", 189, 170), ("4 kHz", 311, 170),
               ("8 kHz", 438, 170)]
    for text, x, y in headers:
        out.append(ltext(text, -1, x, y, 45, 10))
    for x, y in [(135, 23), (263, 23), (391, 23), (136, 94), (264, 94), (392, 94), (134, 175), (262, 175),
                 (390, 175)]:
        out.append(f'    CONTROL         "", -1, "Button", BS_GROUPBOX | BS_FLAT, {x}, {y}, 128, 47')
    out.append('    CONTROL         "", -1, "Button", BS_GROUPBOX | BS_FLAT, 85, 23, 41, 47')
    # Blocks: rows' y, columns' x and widths, alignment, N.C. cells' y and x.
    blocks = [
        ([32, 45, 56], [143, 185, 227, 273, 313, 353, 397, 441, 481], [27, 27, 27, 27, 27, 27, 35, 27, 34],
         ctext, 56, [153, 194, 236, 281, 323, 362, 410, 449, 495]),
        ([103, 116, 127], [143, 185, 228, 273, 313, 353, 397, 441, 481], [28] * 9,
         ltext, 126, [155, 196, 239, 283, 323, 360, 407, 451, 490]),
        ([186, 199, 210], [142, 183, 226, 271, 311, 351, 395, 439, 479], [32] * 9,
         ltext, 210, [150, 195, 236, 279, 321, 363, 407, 449, 489]),
    ]
    for r in range(3):
        out.append(ctext(CELL, 1500 + r, 87, blocks[0][0][r], 35, 8))
    for block, (rows_y, xs, widths, kind, nc_y, nc_xs) in enumerate(blocks):
        for i in range(9):
            column = 9 * block + i + 1
            for r in range(3):
                out.append(kind(CELL, 1500 + 3 * column + r, xs[i], rows_y[r], widths[i], 8))
        for i in range(9):
            column = 9 * block + i + 1
            out.append(ltext("- -", 1019 + column, nc_xs[i], nc_y, 11, 8, "NOT WS_VISIBLE"))
    label_x = [51, 101, 99]
    for block, (rows_y, *_rest) in enumerate(blocks):
        for r, text in enumerate(["C50 (dB)", "C80 (dB)", "D50 (%)"]):
            out.append(ltext(text, 1810 + 3 * block + r, label_x[block], rows_y[r], 33, 8))
    out += [
        '    GROUPBOX        "View Parameters", -1, 9, 92, 67, 105',
        '    PUSHBUTTON      "Clarity", 1800, 17, 103, 50, 14',
        '    PUSHBUTTON      "TS - EDT", 1801, 18, 121, 50, 14',
        '    PUSHBUTTON      "RT20", 1802, 18, 139, 50, 14',
        '    PUSHBUTTON      "RT30", 1803, 18, 159, 50, 14',
        '    PUSHBUTTON      "RT User", 1804, 18, 178, 50, 14',
        '    GROUPBOX        "RTU=RT User ", -1, 17, 234, 96, 23',
        ctext("", 3154, 23, 244, 88, 9),
        '    PUSHBUTTON      "&Right Channel Parameters", 3150, 181, 244, 96, 14',
        '    PUSHBUTTON      "Copy to Clipboard", 3151, 289, 244, 96, 14',
        '    PUSHBUTTON      "&Help", 4, 417, 244, 50, 14',
        '    DEFPUSHBUTTON   "OK", 1, 473, 244, 50, 14',
        "END",
    ]
    return out


if __name__ == "__main__":
    print("\n".join(octave_dialog() + [""] + third_octave_dialog()))
