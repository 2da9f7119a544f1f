"""What the letter and word sound library holds: file names and the Portuguese text of each."""

# Portuguese names of the letters, as a sighted person reads them aloud.
LETTER_NAMES = {
    "a": "á", "b": "bê", "c": "cê", "d": "dê", "e": "é", "f": "éfe", "g": "gê",
    "h": "agá", "i": "i", "j": "jota", "k": "cá", "l": "éle", "m": "ême", "n": "êne",
    "o": "ó", "p": "pê", "q": "quê", "r": "érre", "s": "ésse", "t": "tê", "u": "u",
    "v": "vê", "w": "dáblio", "x": "xis", "y": "ípsilon", "z": "zê",
}

# A word for each letter, so that a letter can be told apart from its neighbours by ear.
PHONETIC_WORDS = {
    "a": "amor", "b": "bola", "c": "casa", "d": "dado", "e": "escola", "f": "faca",
    "g": "gato", "h": "hotel", "i": "igreja", "j": "janela", "k": "quilo", "l": "lua",
    "m": "macaco", "n": "navio", "o": "ovo", "p": "pato", "q": "queijo", "r": "rato",
    "s": "sapo", "t": "tatu", "u": "uva", "v": "vaca", "w": "whisky", "x": "xícara",
    "y": "yoga", "z": "zebra",
}

# The accented letters of cp1252 (192 to 255, upper and lower case alike): base letter name and
# the name of its mark.
ACCENTED = {
    "à": ("á", "crase"), "á": ("á", "agudo"), "â": ("á", "circunflexo"), "ã": ("á", "til"),
    "ä": ("á", "trema"), "å": ("á", "com anel"), "æ": ("á é", "ligados"), "ç": ("cê", "cedilha"),
    "è": ("é", "crase"), "é": ("é", "agudo"), "ê": ("ê", "circunflexo"), "ë": ("é", "trema"),
    "ì": ("i", "crase"), "í": ("i", "agudo"), "î": ("i", "circunflexo"), "ï": ("i", "trema"),
    "ð": ("éte", "islandês"), "ñ": ("êne", "til"), "ò": ("ó", "crase"), "ó": ("ó", "agudo"),
    "ô": ("ô", "circunflexo"), "õ": ("ó", "til"), "ö": ("ó", "trema"), "ø": ("ó", "cortado"),
    "ù": ("u", "crase"), "ú": ("u", "agudo"), "û": ("u", "circunflexo"), "ü": ("u", "trema"),
    "ý": ("ípsilon", "agudo"), "þ": ("tórn", "islandês"), "ÿ": ("ípsilon", "trema"),
}

# Everything else SpeakChar can be handed, by cp1252 byte value.
SYMBOL_NAMES = {
    0: "especial", 12: "avanço de página", 32: "espaço", 33: "exclamação", 34: "aspas",
    35: "cerquilha", 36: "cifrão", 37: "por cento", 38: "e comercial", 39: "apóstrofo",
    40: "abre parênteses", 41: "fecha parênteses", 42: "asterisco", 43: "mais", 44: "vírgula",
    45: "hífen", 46: "ponto", 47: "barra", 48: "zero", 49: "um", 50: "dois", 51: "três",
    52: "quatro", 53: "cinco", 54: "seis", 55: "sete", 56: "oito", 57: "nove",
    58: "dois pontos", 59: "ponto e vírgula", 60: "menor que", 61: "igual", 62: "maior que",
    63: "interrogação", 64: "arroba", 91: "abre colchetes", 92: "barra invertida",
    93: "fecha colchetes", 94: "circunflexo", 95: "sublinhado", 96: "acento grave",
    123: "abre chaves", 124: "barra vertical", 125: "fecha chaves", 126: "til", 127: "deletar",
    128: "euro", 129: "código cento e vinte e nove", 130: "vírgula baixa", 131: "florim",
    132: "aspas baixas", 133: "reticências", 134: "adaga", 135: "adaga dupla",
    136: "circunflexo", 137: "por mil", 138: "ésse com caron", 139: "aspa angular esquerda",
    140: "ó é ligados", 141: "código cento e quarenta e um", 142: "zê com caron",
    143: "código cento e quarenta e três", 144: "código cento e quarenta e quatro",
    145: "aspa simples esquerda", 146: "aspa simples direita", 147: "aspas esquerdas",
    148: "aspas direitas", 149: "marcador", 150: "meia risca", 151: "travessão", 152: "til",
    153: "marca comercial", 154: "ésse com caron", 155: "aspa angular direita",
    156: "ó é ligados", 157: "código cento e cinquenta e sete", 158: "zê com caron",
    159: "ípsilon trema", 160: "espaço rígido", 161: "exclamação invertida", 162: "centavo",
    163: "libra", 164: "moeda", 165: "iene", 166: "barra interrompida", 167: "parágrafo",
    168: "trema", 169: "direitos autorais", 170: "ordinal feminino",
    171: "aspas angulares esquerdas", 172: "negação", 173: "hífen suave",
    174: "marca registrada", 175: "mácron", 176: "grau", 177: "mais ou menos",
    178: "ao quadrado", 179: "ao cubo", 180: "acento agudo", 181: "micro",
    182: "sinal de parágrafo", 183: "ponto médio", 184: "cedilha", 185: "elevado a um",
    186: "ordinal masculino", 187: "aspas angulares direitas", 188: "um quarto", 189: "meio",
    190: "três quartos", 191: "interrogação invertida", 215: "vezes", 247: "dividido por",
}

# Capitals are spoken with the same name at a higher pitch, as screen readers do.
CAPITAL_PITCH = 78


def char_sounds():
    """(file stem, text, pitch or None) for every byte SpeakChar plays: 0, 12 and 32 to 255."""
    out = []
    for code in [0, 12] + list(range(32, 256)):
        ch = bytes([code]).decode("cp1252", errors="replace") if code >= 32 else ""
        low = ch.lower()
        pitch = None
        if code in SYMBOL_NAMES:
            text = SYMBOL_NAMES[code]
        elif low in LETTER_NAMES:
            text = LETTER_NAMES[low]
        elif low in ACCENTED or ch in ACCENTED:
            base, mark = ACCENTED.get(low, ACCENTED.get(ch))
            text = base + " " + mark
        elif code == 223:
            text = "ésse duplo"
        else:
            raise ValueError("no name for byte %d" % code)
        if ch != low and ch.isalpha():
            pitch = CAPITAL_PITCH
        out.append(("_%d" % code, text, pitch))
    return out


def phonetic_sounds():
    """(file stem, text) for "_FON" + code: the tab and every letter, plain and accented."""
    out = [("_FON9", "tabulação")]
    for code in range(65, 256):
        ch = bytes([code]).decode("cp1252", errors="replace")
        low = ch.lower()
        if low in PHONETIC_WORDS:
            text = "%s, de %s" % (LETTER_NAMES[low], PHONETIC_WORDS[low])
        elif low in ACCENTED and ch.isalpha():
            base, mark = ACCENTED[low]
            text = "%s %s" % (base, mark)
        else:
            continue
        if ch != low:
            text = text + ", maiúsculo"
        out.append(("_FON%d" % code, text))
    return out


# The word tables NumberToWords writes from, and the scale words (without their trailing space).
UNITS = ["zero", "um", "dois", "tres", "quatro", "cinco", "seis", "sete", "oito", "nove"]
TENS = [None, None, "vinte", "trinta", "quarenta", "cinquenta", "sessenta", "setenta",
        "oitenta", "noventa"]
TEENS = ["dez", "onze", "doze", "treze", "quatorze", "quinze", "dezesseis", "dezessete",
         "dezoito", "dezenove"]
HUNDREDS = [None, "cento", "duzentos", "trezentos", "quatrocentos", "quinhentos", "seiscentos",
            "setecentos", "oitocentos", "novecentos"]
SCALES = [("trilhão", "trilhões"), ("bilhão", "bilhões"), ("milhão", "milhões"), ("mil", "mil")]

# How each number word is said when it is recorded (the table spells a few without accents).
SPOKEN = {"tres": "três", "e": "i"}


def number_to_words(n):
    """The runtime's NumberToWords, to list the words the library needs and to test the names."""
    if n == 0:
        return "zero"
    digits = ("0" * 14 + str(n))[-15:]
    groups = [digits[i:i + 3] for i in range(0, 15, 3)]
    parts = []
    for gi, g in enumerate(groups):
        h, t, u = int(g[0]), int(g[1]), int(g[2])
        if g == "000":
            parts.append("")
            continue
        if g == "100":
            w = "cem"
        else:
            w = ""
            if h:
                w += HUNDREDS[h]
                if g[1:] != "00":
                    w += " e "
            if t == 1:
                w += TEENS[u]
            else:
                if t:
                    w += TENS[t]
                    if u:
                        w += " e "
                if u:
                    w += UNITS[u]
        if gi < 4:
            w += " " + (SCALES[gi][0] if g == "001" else SCALES[gi][1]) + " "
        parts.append(w)
    result = ""
    nonempty = [i for i, p in enumerate(parts) if p]
    for i, p in enumerate(parts):
        if not p:
            continue
        if i == nonempty[-1] and len(nonempty) > 1:
            result += "e "
        result += p
    if result.startswith("um mil") and not result.startswith("um milh"):
        result = result[3:]
    return result


def word_file_stem(word, feminine_last=False):
    """The file stem SpeakWordSounds opens for one word."""
    word = word.replace("ã", "a").replace("õ", "o")
    if word == "dezessete":
        word = "dezeset"
    stem = ("_" + word)[:8]
    if feminine_last:
        stem = {"_um": "_uma", "_dois": "_duas"}.get(stem, stem)
    return stem


def number_sounds():
    """(file stem, text) for every word NumberToWords can write, plus the feminine forms."""
    words = set(UNITS) | set(TEENS) | {w for w in TENS + HUNDREDS if w} | {"cem", "e"}
    for singular, plural in SCALES:
        words.add(singular)
        words.add(plural)
    out = {}
    for w in sorted(words):
        out[word_file_stem(w)] = SPOKEN.get(w, w)
    out["_uma"] = "uma"
    out["_duas"] = "duas"
    return sorted(out.items())


WEEKDAYS = [("Domingo", "domingo"), ("Segunda", "segunda-feira"), ("Terca", "terça-feira"),
            ("Quarta", "quarta-feira"), ("Quinta", "quinta-feira"), ("Sexta", "sexta-feira"),
            ("Sabado", "sábado")]
MONTHS = [("Janeiro", "janeiro"), ("Fevereiro", "fevereiro"), ("Marco", "março"),
          ("Abril", "abril"), ("Maio", "maio"), ("Junho", "junho"), ("Julho", "julho"),
          ("Agosto", "agosto"), ("Setembro", "setembro"), ("Outubro", "outubro"),
          ("Novembro", "novembro"), ("Dezembro", "dezembro")]

# Prompt words played by name: times, dates, the line editor's prompts.
PROMPTS = [
    ("_hora", "hora"), ("_horas", "horas"), ("_EHORA", "i"), ("_minuto", "minuto"),
    ("_minutos", "minutos"), ("_primeir", "primeiro"), ("_de", "de"), ("_MENOS", "menos"),
    ("_DEL", "apagado"), ("_APFCPO", "apagado até o fim"), ("_APICPO", "apagado até o início"),
    ("_CPOAPA", "campo apagado"), ("_FALACI", "eco ligado"), ("_FALDLG", "eco desligado"),
    ("_VELOC", "velocidade, de um a cinco"), ("_SEMBAT", "sem bateria"),
    ("_SEMENER", "sem energia elétrica"), ("_unknown", "desconhecido"),
]


def prompt_sounds():
    out = list(PROMPTS)
    out += [("_" + name, text) for name, text in WEEKDAYS]
    out += [("_" + name[:7], text) for name, text in MONTHS]
    return out


# The tracker's prompts: file in its sons folder and the text it shows.
TRACKER_PROMPTS = [
    ("bx_ini", "Bexilo, rastreamento de objetos"),
    ("bx_dig_cod", "Entre com o código do objeto a pesquisar:"),
    ("bx_agua", "Aguarde"),
    ("bx_sel_obj", "Selecione o objeto a consultar:"),
    ("bx_ult_atu", "Última atualização:"),
    ("bx_esc_opc", "Escolha sua opção"),
    ("bx_det_obj", "Detalhes do objeto:"),
    ("bx_ler_set", "Leia com as setas"),
    ("bx_ini_mon", "Iniciando monitor de objetos para"),
    ("bx_par_mon", "Parando monitor"),
    ("bx_des_sai", "Deseja sair?"),
    ("bx_fui", "Até logo."),
    ("bx_err", "Programa encerrado."),
]

# Touch-tone keys: the character DialTones is given, the file suffix, row and column Hz.
DTMF = [("1", "1", 697, 1209), ("2", "2", 697, 1336), ("3", "3", 697, 1477),
        ("4", "4", 770, 1209), ("5", "5", 770, 1336), ("6", "6", 770, 1477),
        ("7", "7", 852, 1209), ("8", "8", 852, 1336), ("9", "9", 852, 1477),
        ("*", "X", 941, 1209), ("0", "0", 941, 1336), ("#", "#", 941, 1477)]
