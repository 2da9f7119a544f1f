"""Tests of the host kit's deterministic parts: names, sounds, navelo.ini, pelaso, rules, database.

Run: python3 tests/hostkit/test_hostkit.py [HOSTKIT_UNITS]   (the tool enables the rules checks
that run the runtime's own text to phonemes and synthesizer). Needs neither espeak-ng nor sox.
"""

import importlib.machinery
import importlib.util
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
KIT = os.path.join(ROOT, "tools", "hostkit")
sys.path.insert(0, KIT)
sys.dont_write_bytecode = True  # keep the source tree free of caches

from kitlib import effects, mbrola, names, report, units, wave8  # noqa: E402
import hostkit  # noqa: E402

_loader = importlib.machinery.SourceFileLoader("pelaso", os.path.join(KIT, "pelaso"))
_spec = importlib.util.spec_from_loader("pelaso", _loader)
pelaso = importlib.util.module_from_spec(_spec)
_loader.exec_module(pelaso)

def goertzel(x, freq):
    k = 2 * math.cos(2 * math.pi * freq / wave8.RATE)
    s1 = s2 = 0.0
    for v in x:
        s1, s2 = v + k * s1 - s2, s1
    return s1 * s1 + s2 * s2 - k * s1 * s2


class WaveTest(unittest.TestCase):
    def test_header_is_44_bytes_of_8_bit_mono_11025(self):
        data = wave8.wav_bytes(bytes([128, 200, 50]))
        self.assertEqual(len(data), 47)
        self.assertEqual(data[:4], b"RIFF")
        self.assertEqual(struct.unpack("<I", data[4:8])[0], 39)
        self.assertEqual(struct.unpack("<HHIIHH", data[20:36]), (1, 1, 11025, 11025, 1, 8))
        self.assertEqual(struct.unpack("<I", data[40:44])[0], 3)
        self.assertEqual(wave8.read_wav_u8(data), bytes([128, 200, 50]))

    def test_reader_rejects_other_formats(self):
        data = bytearray(wave8.wav_bytes(bytes(10)))
        data[24:28] = struct.pack("<I", 22050)
        with self.assertRaises(ValueError):
            wave8.read_wav_u8(bytes(data))
        with self.assertRaises(ValueError):
            wave8.read_wav_u8(wave8.wav_bytes(bytes(10))[:-1])

    def test_quantisation_centres_on_128_and_clips(self):
        self.assertEqual(list(wave8.to_u8([0, 32767, -32768, 100000, -100000, 256])),
                         [128, 255, 0, 255, 0, 129])

    def test_trim_cuts_silence_at_quiet_points(self):
        tone = [int(10000 * math.sin(2 * math.pi * 440 * i / wave8.RATE)) for i in range(2000)]
        x = [0] * 3000 + tone + [0] * 3000
        y = wave8.trim(x)
        self.assertLess(len(y), 2000 + 2 * 50)
        self.assertGreaterEqual(len(y), 1900)
        self.assertLess(abs(y[0]), 1000)
        self.assertLess(abs(y[-1]), 1000)
        self.assertEqual(wave8.trim([0] * 500), [])

    def test_fades_end_near_silence(self):
        y = wave8.fade([20000] * 1000)
        self.assertLess(abs(y[0]), 1000)
        self.assertLess(abs(y[-1]), 1000)
        self.assertEqual(y[500], 20000)

    def test_loudness_gain_respects_peak(self):
        x = [30000, -30000] + [0] * 1000
        self.assertLessEqual(max(abs(v) for v in x) * wave8.loudness_gain(x), 0.95 * 32768 + 1)


class EffectsTest(unittest.TestCase):
    def test_touch_tones_hold_their_row_and_column(self):
        rows, cols = [697, 770, 852, 941], [1209, 1336, 1477]
        for key, suffix, low, high in names.DTMF:
            x = effects.dtmf(low, high)
            power = {f: goertzel(x, f) for f in rows + cols}
            strongest = sorted(power, key=power.get)[-2:]
            self.assertEqual(sorted(strongest), [low, high], key)
            self.assertAlmostEqual(len(x) / wave8.RATE, 0.12, places=2)

    def test_touch_tone_files_cover_dialling(self):
        self.assertEqual(sorted(s for _, s, _, _ in names.DTMF), sorted("0123456789#X"))

    def test_effects_fit_8_bits_without_clipping(self):
        for x in (effects.waterdrop(), effects.blimblimblom(), effects.change_chime()):
            self.assertLessEqual(max(abs(v) for v in x), 32767)
            self.assertGreater(len(x), wave8.RATE // 10)
            u8 = wave8.to_u8(x)
            self.assertIn(min(u8), range(1, 128))


class NamesTest(unittest.TestCase):
    def test_every_byte_speakchar_plays_has_one_file(self):
        stems = [s for s, _, _ in names.char_sounds()]
        self.assertEqual(stems, ["_0", "_12"] + ["_%d" % c for c in range(32, 256)])
        sounds = {s: (t, p) for s, t, p in names.char_sounds()}
        self.assertEqual(sounds["_66"], ("bê", names.CAPITAL_PITCH))
        self.assertEqual(sounds["_98"], ("bê", None))
        self.assertEqual(sounds["_44"][0], "vírgula")
        self.assertEqual(sounds["_231"][0], "cê cedilha")
        self.assertTrue(all(t for t, _ in sounds.values()))

    def test_number_words_follow_number_to_words(self):
        self.assertEqual(names.number_to_words(0), "zero")
        self.assertEqual(names.number_to_words(21), "vinte e um")
        self.assertEqual(names.number_to_words(100), "cem")
        self.assertEqual(names.number_to_words(101), "cento e um")
        self.assertEqual(names.number_to_words(1000), "mil ")
        self.assertEqual(names.number_to_words(2340), "dois mil e trezentos e quarenta")
        self.assertEqual(names.number_to_words(1000000), "um milhão ")

    def test_every_number_word_has_a_file(self):
        stems = dict(names.number_sounds())
        numbers = list(range(0, 2100)) + [n * 997 for n in range(1, 1100)]
        numbers += [10 ** k + 17 for k in range(3, 10)] + [2147483647, 2000000000, 1001001]
        for n in numbers:
            words = names.number_to_words(n).split()
            for i, w in enumerate(words):
                for fem in (False, True):
                    stem = names.word_file_stem(w, fem and i == len(words) - 1)
                    self.assertIn(stem, stems, (n, w))
        self.assertEqual(names.word_file_stem("dezessete"), "_dezeset")
        self.assertEqual(names.word_file_stem("dezesseis"), "_dezesse")
        self.assertEqual(names.word_file_stem("quatrocentos"), "_quatroc")
        self.assertEqual(names.word_file_stem("milhões"), "_milhoes")
        self.assertEqual(names.word_file_stem("dois", True), "_duas")
        self.assertEqual(stems["_tres"], "três")

    def test_prompt_words_of_times_dates_and_the_editor(self):
        stems = {s for s, _ in names.prompt_sounds()}
        wanted = {"_hora", "_horas", "_EHORA", "_minuto", "_minutos", "_primeir", "_de",
                  "_MENOS", "_DEL", "_APFCPO", "_APICPO", "_CPOAPA", "_FALACI", "_FALDLG",
                  "_VELOC", "_SEMBAT", "_SEMENER", "_unknown", "_Domingo", "_Segunda", "_Terca",
                  "_Quarta", "_Quinta", "_Sexta", "_Sabado", "_Janeiro", "_Feverei", "_Marco",
                  "_Abril", "_Maio", "_Junho", "_Julho", "_Agosto", "_Setembr", "_Outubro",
                  "_Novembr", "_Dezembr"}
        self.assertEqual(wanted - stems, set())

    def test_phonetic_names_of_letters(self):
        fon = dict(names.phonetic_sounds())
        for c in list(range(65, 91)) + list(range(97, 123)):
            self.assertIn("_FON%d" % c, fon)
        self.assertEqual(fon["_FON97"], "á, de amor")
        self.assertIn("maiúsculo", fon["_FON65"])
        self.assertIn("_FON9", fon)
        self.assertIn("_FON231", fon)

    def test_file_names_are_unique_across_the_library(self):
        stems = ([s for s, _, _ in names.char_sounds()] + [s for s, _ in names.phonetic_sounds()]
                 + [s for s, _ in names.number_sounds()] + [s for s, _ in names.prompt_sounds()])
        folded = [s.lower() for s in stems]
        self.assertEqual(len(folded), len(set(folded)))

    def test_tracker_prompts(self):
        self.assertEqual(len(names.TRACKER_PROMPTS), 13)
        self.assertIn(("bx_fui", "Até logo."), names.TRACKER_PROMPTS)


def parse_ini(data):
    sections = {}
    current = None
    for line in data.decode("cp1252").split("\r\n"):
        if line.startswith("["):
            current = sections.setdefault(line.strip("[]"), {})
        elif "=" in line:
            k, v = line.split("=", 1)
            current[k] = v
    return sections


class NaveloIniTest(unittest.TestCase):
    def test_every_key_the_runtime_reads_is_there(self):
        ini = parse_ini(hostkit.navelo_ini())
        wanted = {
            "NAVELO": ["LEGADO", "PGMNAVELO", "FALANDO", "ECOAROPCAO", "FALARTUDO",
                       "BIPSCLECSCURTOS", "PROG.HTM", "TIMEOUT_REDE", "TEMPOESPERAPROGVOLTAR"],
            "TRAMELIS": ["DIRTRAMELIS", "DIRDEFAULT"],
            "TRADUTOR": ["VELOCIDADE", "DIRLETRAS", "SAPI", "DIRDIFONES"],
            "SERVFALA": ["VOZ", "VELOCIDADE", "TOM", "TIPOSAPI"],
            "BAIXAVISAO": ["AMPLIACAO", "CORLETRA", "CORFUNDO", "CORCURSOR"],
            "VIDEO": ["TABCORES", "CORESFIXAS", "LENTO", "CORFUNDO", "CORLETRA", "FONTE",
                      "LARGURALETRA", "ALTURALETRA", "PESOLETRA", "CANTOTELA"],
            "BRAILLE": ["MODO"],
            "SORANATTS": ["MBROLA_DB", "DIR", "BASE"],
            "SINTETIZADOR": ["%s%d" % (k, n) for n in range(1, 6)
                             for k in ("CORTEFON", "SOBRAFON", "INTERPAL", "CORTAFALA",
                                       "RAPIDINHO", "PAUSAPONTO", "PAUSAVIRG",
                                       "PAUSADOISPONTOS")],
        }
        for section, keys in wanted.items():
            for key in keys:
                self.assertIn(key, ini.get(section, {}), (section, key))
        self.assertEqual(ini["NAVELO"]["PGMNAVELO"], hostkit.PROGRAM_DIR)
        self.assertEqual(ini["TRADUTOR"]["SAPI"], "N")
        for path in (ini["TRADUTOR"]["DIRLETRAS"], ini["TRADUTOR"]["DIRDIFONES"]):
            self.assertLessEqual(len(path), 79)

    def test_no_speed_cuts_the_units_and_the_fast_ones_are_faster(self):
        # Units die away at their end; a cut off the end would stop them in full sound.
        ini = parse_ini(hostkit.navelo_ini())["SINTETIZADOR"]
        for n in range(1, 6):
            self.assertEqual(int(ini["CORTEFON%d" % n]), 0, n)
        # the fast speeds keep their pace by shorter silences (and speed 5 by period dropping)
        for n in range(1, 5):
            for key in ("INTERPAL", "PAUSAPONTO", "PAUSAVIRG", "PAUSADOISPONTOS"):
                self.assertGreater(int(ini["%s%d" % (key, n)]), int(ini["%s%d" % (key, n + 1)]),
                                   (key, n))
        self.assertTrue(ini["CORTAFALA5"].startswith("S"))

    def test_unit_end_fade_is_below_a_tenth_two_ms_before_the_end(self):
        two_ms = int(0.002 * hostkit.wave8.RATE)
        self.assertGreaterEqual(hostkit.UNIT_FADE, 5 * two_ms)
        self.assertLess(hostkit._FADE_OUT[-two_ms], 0.1)
        self.assertGreater(hostkit._FADE_OUT[0], 0.95)

    def test_folders_map_into_the_tree(self):
        self.assertEqual(hostkit.host_path("/t", r"c:\ubrimo\som\letras"),
                         "/t/c/ubrimo/som/letras")


ATU = (b"[PROGREDE]\r\nRede23=Z,[PROGQUOREL],-RPRGQUO,Programas do portal Quorel Site\r\n\r\n"
       b"[PROGQUOREL]\r\nRede7=T,/opt/bexilo\\BEXILO.EXE,-REDEITA,Rastrear encomendas\r\n")


class PelasoTest(unittest.TestCase):
    def test_merge_replaces_adds_and_keeps_the_rest(self):
        old = (b"; comment\r\n[navelo]\r\nLEGADO=N\r\n\r\n[progrede]\r\n rede23 = old\r\n"
               b"Rede1=A\r\n\r\n[OUTRA]\r\nX=1\r\n")
        new = pelaso.merge(old, pelaso.read_entries(ATU))
        lines = new.split(b"\r\n")
        self.assertIn(b"; comment", lines)
        self.assertIn(b"Rede23=Z,[PROGQUOREL],-RPRGQUO,Programas do portal Quorel Site", lines)
        self.assertNotIn(b" rede23 = old", lines)
        self.assertIn(b"Rede1=A", lines)
        self.assertIn(b"[OUTRA]", lines)
        rede7 = b"Rede7=T,/opt/bexilo\\BEXILO.EXE,-REDEITA,Rastrear encomendas"
        self.assertEqual(lines[-3:], [b"[PROGQUOREL]", rede7, b""])
        # A second merge of the same entries changes nothing.
        self.assertEqual(pelaso.merge(new, pelaso.read_entries(ATU)), new)

    def test_new_key_goes_to_the_end_of_its_section(self):
        new = pelaso.merge(b"[A]\nK=1\n\n[B]\nL=2\n", [(b"a", b"M", b"3")])
        self.assertEqual(new, b"[A]\nK=1\nM=3\n\n[B]\nL=2\n")

    def test_resolves_host_paths_without_regard_to_case(self):
        with tempfile.TemporaryDirectory() as d:
            os.makedirs(os.path.join(d, "c", "Pasta"))
            open(os.path.join(d, "c", "Pasta", "Bexilo.atu"), "w").close()
            env = {"NAVELO_DRIVE_C": os.path.join(d, "c")}
            self.assertEqual(pelaso.resolve('"C:\\pasta\\BEXILO.ATU"', env),
                             os.path.join(d, "c", "Pasta", "Bexilo.atu"))
            self.assertEqual(pelaso.resolve("\\pasta", env), os.path.join(d, "c", "Pasta"))
            self.assertEqual(pelaso.resolve(d + "/c\\pasta", env), os.path.join(d, "c", "Pasta"))

    def test_program_merges_into_the_users_file_atomically(self):
        with tempfile.TemporaryDirectory() as d:
            home = os.path.join(d, "home")
            navelo = os.path.join(home, "AppData", "Roaming", "Navelo")
            os.makedirs(navelo)
            ini = os.path.join(navelo, "navelo.ini")
            with open(ini, "wb") as f:
                f.write(b"[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\\navelo\r\n")
            atu = os.path.join(d, "bexilo.atu")
            with open(atu, "wb") as f:
                f.write(ATU)
            env = dict(os.environ, USERPROFILE=home, HOME=home)
            env.pop("APPDATA", None)
            r = subprocess.run([sys.executable, os.path.join(KIT, "pelaso"), '"%s"' % atu],
                               env=env, capture_output=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(ini, "rb") as f:
                data = f.read()
            self.assertTrue(data.startswith(b"[NAVELO]\r\nPGMNAVELO=c:\\ubrimo\\navelo\r\n"))
            self.assertIn(b"[PROGQUOREL]\r\nRede7=T,", data)
            self.assertEqual(sorted(os.listdir(navelo)), ["navelo.ini"])
            r = subprocess.run([sys.executable, os.path.join(KIT, "pelaso"), "/nao/existe"],
                               env=env, capture_output=True)
            self.assertEqual(r.returncode, 1)


RULE = re.compile(r"^(.{0,5})\((.{1,5})\)(.{0,5})=(.{0,11})$")
OUTPUT_SYMBOLS = set("abdefgijklmnoprstuvwxyzhcAEIOU^~ ")


def rule_lines():
    with open(os.path.join(KIT, "regras.rgr"), "rb") as f:
        text = f.read().decode("ascii")
    return [l for l in text.splitlines() if l and not l.startswith(";")]


class RulesFilesTest(unittest.TestCase):
    def test_every_rule_line_is_well_formed(self):
        for line in rule_lines():
            m = RULE.match(line)
            self.assertIsNotNone(m, line)
            left, match, right, output = m.groups()
            self.assertTrue(32 <= ord(match[0]) <= 95, line)
            self.assertEqual(match, match.upper(), line)
            self.assertEqual(set(output) - OUTPUT_SYMBOLS, set(), line)

    def test_rules_of_one_first_character_stay_together(self):
        seen = []
        for line in rule_lines():
            first = RULE.match(line).group(2)[0]
            if not seen or seen[-1] != first:
                self.assertNotIn(first, seen, line)
                seen.append(first)

    def test_exceptions_are_sorted_word_pairs(self):
        with open(os.path.join(KIT, "portug.exc"), "rb") as f:
            lines = [l for l in f.read().split(b"\n") if l]
        words = [l.split(b"=")[0] for l in lines]
        self.assertEqual(words, sorted(words))
        for line in lines:
            word, repl = line.split(b"=")
            self.assertLessEqual(len(line), 255)
            self.assertEqual(word, word.lower())
            self.assertTrue(repl)


class UnitsTest(unittest.TestCase):
    def test_keys_become_the_voices_phonemes(self):
        self.assertEqual(units.key_to_phonemes("$KA"), "k'a")
        self.assertEqual(units.key_to_phonemes("$KACIRC"), "k'&")
        self.assertEqual(units.key_to_phonemes("$AWTIL"), "'&U~")
        self.assertEqual(units.key_to_phonemes("$TCHI"), "tS'i")
        self.assertEqual(units.key_to_phonemes("$LHA"), "lj'a")
        self.assertEqual(units.key_to_phonemes("$B"), "by")
        self.assertEqual(units.key_to_phonemes("$S"), "s")
        self.assertEqual(units.key_to_phonemes("$NN"), "n")
        self.assertIsNone(units.key_to_phonemes("$"))
        self.assertIsNone(units.key_to_phonemes("$SCIRC"))

    def test_nasal_vowels_keep_their_nasal_consonant(self):
        # tempo, campo: the voice writes the nasal vowel and a nasal coda N
        self.assertTrue(units.bare_nasal("$TETIL"))
        self.assertTrue(units.bare_nasal("$ATIL"))
        self.assertFalse(units.bare_nasal("$AWTIL"))
        self.assertFalse(units.bare_nasal("$TECIRC"))
        self.assertEqual(units.carrier("$KATIL"), ("a'k&~Nta", 1))
        self.assertEqual(units.carrier("$TETIL"), ("a'teINta", 1))
        # a nasal i or u mostly ends a word (sim, um): cut from the end of its carrier
        self.assertEqual(units.carrier("$SITIL"), ("a'siN", 1))
        self.assertTrue(units.final_nasal("$UTIL"))
        self.assertFalse(units.final_nasal("$TETIL"))
        self.assertFalse(units.final_nasal("$UWTIL"))
        self.assertEqual(units.carrier("$A"), ("'ata", 0))
        # a stop alone opens a cluster: no vowel of its own, cut before the tap
        self.assertEqual(units.carrier("$K"), ("a'kRa", 1))
        self.assertTrue(units.lone_stop("$P"))
        self.assertFalse(units.lone_stop("$PA"))
        self.assertFalse(units.lone_stop("$S"))
        self.assertEqual(units.key_to_phonemes("$TRA"), "tR'a")

    def test_base_inventory_is_sayable_and_storable(self):
        inv = units.base_inventory()
        self.assertIn("$NN", inv)
        for v in "AEIOU":
            self.assertIn("$" + v, inv)
        for key in inv:
            self.assertLessEqual(len(key), 8)
            self.assertIsNotNone(units.key_to_phonemes(key), key)

    def test_index_records_are_sorted_and_point_into_the_data(self):
        index, data = units.build_files([("$KA", b"\x80" * 5), ("$A", b"\x81" * 3),
                                         ("$AW", b"\x82" * 2), ("$B", b"")])
        self.assertEqual(len(index), 4 * 15)
        recs = units.read_index(index)
        self.assertEqual([r[0] for r in recs], ["$A", "$AW", "$B", "$KA"])
        self.assertEqual([(r[1], r[2]) for r in recs], [(3, 0), (2, 3), (0, 5), (5, 5)])
        self.assertEqual(data, b"\x81" * 3 + b"\x82" * 2 + b"\x80" * 5)
        self.assertEqual(index[0], 2)
        self.assertEqual(index[3:9], b"\0" * 6)
        with self.assertRaises(ValueError):
            units.build_files([("$TOOLONGNAME", b"")])


class StressTest(unittest.TestCase):
    def test_both_phoneme_notations_meet_in_one(self):
        same = [("[ t/a~/ b/E~y]", "t&~mb'eIN"), ("[ k/a~/ p/u]", "k'&~mpU"),
                ("[ m/A~w]", "m'&U~"), ("[ t/E/ rr/a]", "t'Ex&"),
                ("[ k/o^/ m/e~/ d/a/ d/O^r]", "komeINdad'o*"), ("[ f/i/ lh/u]", "f'iljU"),
                ("[ p/o~/ tch/i]", "p'oNtSy"), ("[ m/E^/ z/ m/u]", "m'ezmU")]
        for ours, voice in same:
            self.assertEqual(report.our_canonical(ours), report.voice_canonical(voice), ours)
        self.assertNotEqual(report.our_canonical("[ t/E^/ rr/a]"),
                            report.voice_canonical("t'Ex&"))
        self.assertNotEqual(report.our_canonical("[ b/E/ m]"), report.voice_canonical("b'eIN"))

    def test_our_stressed_syllable_counted_from_the_end(self):
        self.assertEqual(report.our_stress("[ k/A/ z/a]"), 2)
        self.assertEqual(report.our_stress("[ k/a/ f/E]"), 1)
        self.assertEqual(report.our_stress("[ p/A~w]"), 1)
        self.assertEqual(report.our_stress("[ s/a/ I/ d/a]"), 2)
        self.assertEqual(report.our_stress("[ m/a/ m/a]"), None)
        self.assertEqual(report.our_stress("[ m/a~w]"), 1)

    def test_voice_stressed_syllable_counted_from_the_end(self):
        self.assertEqual(report.voice_stress("k'az&"), 2)
        self.assertEqual(report.voice_stress("kaf'E"), 1)
        self.assertEqual(report.voice_stress("p'&U~"), 1)
        self.assertEqual(report.voice_stress("sa'id&"), 2)
        self.assertEqual(report.voice_stress(",abast,ese*'i;&mUs"), 3)
        self.assertEqual(report.voice_stress("v'i*@-ZeIN"), 2)


class RulesWithTheSynthesizerTest(unittest.TestCase):
    """The rules, run through the runtime's own text to phonemes and chunk splitting, ask only
    for units the database can hold."""

    def setUp(self):
        if not os.environ.get("HOSTKIT_UNITS"):
            self.skipTest("needs the hostkit_units tool")

    WORDS = ["casa", "café", "ação", "pão", "mãe", "bem", "carro", "prato", "guerra", "água",
             "chave", "filho", "ninho", "tia", "dentes", "sol", "canto", "homem", "exame",
             "Bexilo", "rastreamento", "objetos", "guarda-chuva", "quente", "saída", "cair",
             "Última", "atualização", "opção", "monitor", "código", "Até", "logo"]

    def run_tool(self, *args, stdin=None):
        return subprocess.run([os.environ["HOSTKIT_UNITS"]] + list(args), input=stdin,
                              capture_output=True, check=True)

    def test_sample_words_need_only_storable_units_of_the_base_inventory(self):
        rules = os.path.join(KIT, "regras.rgr")
        exc = os.path.join(KIT, "portug.exc")
        with tempfile.NamedTemporaryFile("w", suffix=".txt", encoding="utf-8") as f:
            f.write("\n".join(self.WORDS) + "\n")
            f.flush()
            out = self.run_tool("inventory", rules, exc, f.name)
        self.assertIn(b" 0 words ask for a name too long", out.stderr)
        asked = {l.split("\t")[0] for l in out.stdout.decode().splitlines()}
        base = set(units.base_inventory())
        for key in asked:
            self.assertTrue(key.startswith("$") or re.fullmatch(r"_\d+", key), key)
            if key.startswith("$"):
                self.assertIn(key, base)

    def test_nasal_endings_open_e_before_rr_and_muito(self):
        rules = os.path.join(KIT, "regras.rgr")
        exc = os.path.join(KIT, "portug.exc")
        words = ["também", "alguém", "porém", "parabéns", "terra", "muito", "muitos", "bem"]
        out = self.run_tool("phonemes", rules, exc,
                            stdin=("\n".join(words) + "\n").encode("utf-8"))
        table = dict(l.split("\t") for l in out.stdout.decode("utf-8").splitlines())
        self.assertEqual(table["também"], "[ t/a~/ b/E~y]")
        self.assertEqual(table["alguém"], "[a/w/ g/E~y]")
        self.assertEqual(table["porém"], "[ p/o^/ r/E~y]")
        self.assertEqual(table["parabéns"], "[ p/a/ r/a/ b/E~ys]")
        self.assertEqual(table["terra"], "[ t/E/ rr/a]")
        self.assertEqual(table["muito"], "[ m/U~/y/ t/u]")
        self.assertEqual(table["muitos"], "[ m/U~/y/ t/u/ s]")
        self.assertEqual(table["bem"], "[ b/e~y]")

    def test_s_before_a_voiced_consonant_is_z_and_qui(self):
        rules = os.path.join(KIT, "regras.rgr")
        exc = os.path.join(KIT, "portug.exc")
        out = self.run_tool("phonemes", rules, exc,
                            stdin="mesmo\ncismar\nposto\naqui\nquis\n".encode())
        table = dict(l.split("\t") for l in out.stdout.decode("utf-8").splitlines())
        self.assertEqual(table["mesmo"], "[ m/E^/ z/ m/u]")
        self.assertEqual(table["cismar"], "[ s/i/ z/ m/A/r]")
        self.assertEqual(table["posto"], "[ p/O^/ s/ t/u]")
        # the i of qui is the syllable's vowel, not a glide after the u
        self.assertEqual(table["aqui"], "[a/ k/i]")
        self.assertEqual(table["quis"], "[ k/i/ s]")

    def test_open_vowels_before_a_final_l_and_in_words_the_rules_close(self):
        rules = os.path.join(KIT, "regras.rgr")
        exc = os.path.join(KIT, "portug.exc")
        words = ["papel", "hotel", "sol", "futebol", "possível", "objeto", "objetos", "zero",
                 "pedra", "perto", "festas"]
        out = self.run_tool("phonemes", rules, exc,
                            stdin=("\n".join(words) + "\n").encode("utf-8"))
        table = dict(l.split("\t") for l in out.stdout.decode("utf-8").splitlines())
        self.assertEqual(table["papel"], "[ p/a/ p/E/w]")
        self.assertEqual(table["hotel"], "[/o^/ t/E/w]")
        self.assertEqual(table["sol"], "[ s/O/w]")
        self.assertEqual(table["futebol"], "[ f/u/ t/e^/ b/O/w]")
        # the unstressed -vel keeps its closed e
        self.assertEqual(table["possível"], "[ p/o^/ s/I/ v/e^/w]")
        self.assertEqual(table["objeto"], "[o^/ b/ j/E/ t/u]")
        self.assertEqual(table["objetos"], "[o^/ b/ j/E/ t/u/ s]")
        self.assertEqual(table["zero"], "[ z/E/ r/u]")
        self.assertEqual(table["pedra"], "[ p/E/ d/r/a]")
        self.assertEqual(table["perto"], "[ p/E/r/ t/u]")
        self.assertEqual(table["festas"], "[ f/E/ s/ t/a/ s]")

    def test_phonemes_use_only_the_synthesizers_symbols(self):
        rules = os.path.join(KIT, "regras.rgr")
        exc = os.path.join(KIT, "portug.exc")
        out = self.run_tool("phonemes", rules, exc,
                            stdin=("\n".join(self.WORDS) + "\n").encode("utf-8"))
        lines = out.stdout.decode("utf-8").splitlines()
        self.assertEqual(len(lines), len(self.WORDS))
        table = dict(l.split("\t") for l in lines)
        self.assertEqual(table["casa"], "[ k/A/ z/a]")
        self.assertEqual(table["pão"], "[ p/A~w]")
        for word, ph in table.items():
            self.assertRegex(ph, r"^(\[[a-zAEIOU^~/ _-]*\])+$", word)


def _connected_speech():
    """The module that renders connected speech with phoneme events, or None without numpy,
    scipy or espeak-ng's library."""
    try:
        import ctypes
        ctypes.CDLL("libespeak-ng.so.1")
        from kitlib import phoneme_events
    except (ImportError, OSError):
        return None
    return phoneme_events


class ConnectedSpeechTest(unittest.TestCase):
    """Units are cut from connected speech at the phoneme events of espeak-ng's library."""

    def setUp(self):
        self.events = _connected_speech()
        if self.events is None:
            self.skipTest("needs numpy, scipy and espeak-ng's library")

    def test_the_carrier_is_read_as_phonemes_not_as_letters(self):
        # Read as letters, eI came out as e, a pause and i, dZ as d and z, &~ as the word e.
        for text, said in [("a'teINta", ["a", "t", "eI", "N", "t", "a"]),
                           ("a'dZita", ["a", "dZ", "i", "t", "a"]),
                           ("'&~Nta", ["&~", "N", "t", "a"])]:
            x, events = self.events.render(text, speed=hostkit.UNIT_SPEED)
            names = [name for name, _ in events if not name.startswith("_")]
            self.assertEqual(names, said, text)
            positions = [pos for _, pos in events]
            self.assertEqual(positions, sorted(positions), text)
            self.assertLessEqual(positions[-1], len(x), text)


class MbrolaDataTest(unittest.TestCase):
    """The MBROLA-based engine's data files and the stand-in voice's unit set."""

    def test_the_rules_and_durations_name_only_phonemes_of_the_voice(self):
        rules = mbrola.cp1252_file("portug.nrl").decode("cp1252")
        for line in rules.splitlines():
            if not line or line.startswith(";"):
                continue
            output = line.split("=", 1)[1]
            for name in output.split("&"):
                if name:
                    self.assertIn(name, mbrola.PHONEMES, line)
        pro = mbrola.cp1252_file("portug.pro").decode("cp1252")
        self.assertIn("[DURAÇÃO]", pro)
        self.assertIn("[PROSÓDIA]", pro)
        section = pro.split("[DURAÇÃO]")[1].split("[CHAVES]")[0]
        for line in section.splitlines():
            if "=" in line and not line.startswith((";", "*")):
                name = line.split("=")[0]
                self.assertTrue(name in mbrola.PHONEMES or name.startswith("_"), line)
        self.assertTrue(mbrola.cp1252_file("portug.abr").endswith(b"\r\n"))

    def test_the_pair_list_holds_every_pair_with_silence(self):
        text = mbrola.dfn_text(["a", "r2"]).decode("ascii").splitlines()
        pairs = {tuple(l.split()) for l in text if not l.startswith(";")}
        self.assertEqual(pairs, {(x, y) for x in ("_", "a", "r2") for y in ("_", "a", "r2")})

    def test_the_unit_set_round_trips(self):
        units_in = [("a", True, [0, 100, -100, 5], [1, 3]), ("s", False, [7] * 200, [40, 120])]
        data = mbrola.unit_set_bytes(units_in)
        self.assertEqual(data[:8], b"NVPHOU1\n")
        self.assertEqual(mbrola.read_unit_set(data),
                         [("a", True, 4, [1, 3]), ("s", False, 200, [40, 120])])
        with self.assertRaises(ValueError):
            mbrola.read_unit_set(data + b"x")

    def test_pitch_marks_follow_the_periods(self):
        # 125 Hz pulses: a mark every 128 samples.
        x = [0] * 4000
        for m in range(50, 3900, 128):
            for k in range(60):
                x[m + k] = int(8000 * math.exp(-k / 10) * math.cos(2 * math.pi * k / 20))
        marks = mbrola.pitch_marks(x, True)
        gaps = [b - a for a, b in zip(marks, marks[1:])]
        self.assertGreater(len(marks), 25)
        self.assertTrue(all(126 <= g <= 130 for g in gaps), gaps)
        self.assertEqual(mbrola.pitch_marks([0] * 1000, False)[:3], [40, 120, 200])


if __name__ == "__main__":
    if len(sys.argv) > 1:
        os.environ["HOSTKIT_UNITS"] = sys.argv.pop(1)
    unittest.main(verbosity=1)
