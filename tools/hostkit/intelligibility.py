#!/usr/bin/python3
"""How well our diphone voice is understood, measured against espeak-ng.

Usage: intelligibility.py BUILD_DIR [--words N] [--sentences N] [--jobs N] [--save DIR]

Renders a fixed list of common words and tracker sentences three ways: through `tramelis` with the
host tree of BUILD_DIR/hostkit (captured with NAVELO_AUDIO), through espeak-ng's pt-br voice (the
templates), and through a second espeak-ng voice variant (a different speaker: the floor a voice
that is well understood reaches). Each rendering is matched against every template of its kind by
MFCC features and dynamic time warping; a word is identified when its own template is the nearest.

Printed, ours beside the floor and the templates:
  identified   share of words whose nearest template is their own (and of sentences)
  top-5        share whose own template is among the five nearest
  clicks       abrupt endings: a fall from speech level to silence within 2 ms (over all items)
  closures     silent gaps of 20 ms or more inside the words
  duration     mean word length and total sentence length (speech rate)
  short        words silent or shorter than 150 ms
"""

import argparse
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import time
import wave

import numpy as np
from scipy.fft import dct
from scipy.signal import resample_poly

RATE = 11025
VOICE = "pt-br"
OTHER_VOICE = "pt-br+klatt2"

WORDS = """
água alguém amanhã amigo ano antes aqui assim até azul banco barco bem bom branco cabeça cadeira
caminho campo casa certo cidade cinco coisa começo comida como conta corpo criança dia dinheiro
direito doce dois domingo em_branco escola estrada falar família fazer feliz filho fim fogo força
frio gente grande hoje homem hora igreja irmão janela jogo jornal junto lado lápis leite lembrar
limpo livro lugar mãe maior manhã mão mar melhor menino mesa mesmo minuto momento mulher mundo
muito nada nariz natal noite nome nosso novo número objeto obrigado olho ontem ouro padre pai
palavra pão papel parabéns parede pássaro pedra peixe perto pessoa ponte porém porta pouco praia
preço primeiro quando quatro queijo quente rápido rastreamento rato rede relógio rio roupa rua
sábado saúde semana senhor sempre sete sinal sol sorriso também tarde telefone tempo terra três
trabalho trem tudo último um vaca verde vermelho vez vida vinho voz zero agora ajuda carta código
entrega esquerda fechado tecla saída sim não noite pesquisa quinta
""".split()
WORDS = sorted(set(w.replace("_", " ") for w in WORDS if "_" not in w))

SENTENCES = [
    "Bexilo, rastreamento de objetos.",
    "Entre com o código do objeto a pesquisar.",
    "Escolha sua opção.",
    "Leia com as setas.",
    "Detalhes do objeto.",
    "Ver detalhes do objeto.",
    "Selecione o objeto a consultar.",
    "Última atualização para o objeto.",
    "A página do objeto veio incompleta.",
    "A página do objeto veio vazia. Tente de novo mais tarde.",
    "Não foi possível baixar a página do objeto.",
    "Verifique a conexão com a internet.",
    "Tecle Enter para fazer outra consulta ou Esc para sair.",
    "Programa encerrado.",
    "Parando monitor.",
    "Criando entrada no Navelo.",
    "O site de rastreamento não encontrou a página do objeto.",
    "O monitor não conseguiu consultar o objeto.",
    "Da próxima vez, você poderá abrir o programa pressionando r, z, t.",
    "Objeto entregue ao destinatário.",
]


# --- rendering --------------------------------------------------------------------------------

def read_wav(path):
    """Mono float samples (full scale 1) at RATE of a PCM WAV file."""
    with wave.open(path, "rb") as w:
        rate, width, channels = w.getframerate(), w.getsampwidth(), w.getnchannels()
        raw = w.readframes(w.getnframes())
    if width == 1:
        x = (np.frombuffer(raw, np.uint8).astype(np.float64) - 128) / 128
    else:
        x = np.frombuffer(raw, "<i2").astype(np.float64) / 32768
    x = x.reshape(-1, channels).mean(axis=1) if channels > 1 else x
    if rate != RATE:
        g = np.gcd(rate, RATE)
        x = resample_poly(x, RATE // g, rate // g)
    return x


def render_ours(build, text, work):
    fd, script = tempfile.mkstemp(suffix=".tml", dir=work)
    wav = script[:-4] + ".wav"
    with os.fdopen(fd, "wb") as f:
        # A script that begins with the UTF-8 byte-order mark is read as UTF-8.
        # TERMINA MUDO ends the script without its spoken "Fim do script".
        f.write(b"\xef\xbb\xbf" + ('ESCREVE "%s"\nTERMINA MUDO\n' % text).encode("utf-8"))
    tree = os.path.join(build, "hostkit")
    env = dict(os.environ, NAVELO_DRIVE_C=os.path.join(tree, "c"),
               USERPROFILE=os.path.join(tree, "home"),
               APPDATA=os.path.join(tree, "home", "AppData", "Roaming"),
               NAVELO_CONSOLE="headless", NAVELO_AUDIO=wav)
    subprocess.run([os.path.join(build, "tramelis"), os.path.basename(script)], cwd=work,
                   env=env, check=True, capture_output=True, timeout=60)
    x = read_wav(wav)
    os.unlink(script)
    os.unlink(wav)
    return x


def render_espeak(voice, text, work):
    fd, wav = tempfile.mkstemp(suffix=".wav", dir=work)
    os.close(fd)
    subprocess.run(["espeak-ng", "-v", voice, "-w", wav, "--", text], check=True,
                   capture_output=True, timeout=60)
    x = read_wav(wav)
    os.unlink(wav)
    return x


# --- features and matching --------------------------------------------------------------------

def envelope(x, ms=1.0):
    """RMS of consecutive windows of ms milliseconds."""
    n = max(1, int(RATE * ms / 1000))
    m = len(x) // n
    if m == 0:
        return np.zeros(0)
    return np.sqrt((x[:m * n].reshape(m, n) ** 2).mean(axis=1))


def speech_level(env):
    loud = env[env > 0]
    return float(np.percentile(loud, 95)) if len(loud) else 0.0


def trim(x):
    """x without its leading and trailing silence (below 1 % of the speech level)."""
    env = envelope(x)
    level = speech_level(env)
    on = np.nonzero(env > level * 0.01)[0] if level > 0 else []
    if len(on) == 0:
        return x[:0]
    n = int(RATE / 1000)
    return x[on[0] * n:(on[-1] + 1) * n]


def mel_filters(nfft, bands=26, low=100.0, high=5000.0):
    def mel(f):
        return 2595 * np.log10(1 + f / 700)

    def hz(m):
        return 700 * (10 ** (m / 2595) - 1)
    points = hz(np.linspace(mel(low), mel(high), bands + 2))
    bins = np.floor((nfft + 1) * points / RATE).astype(int)
    fb = np.zeros((bands, nfft // 2 + 1))
    for b in range(bands):
        a, c, d = bins[b], bins[b + 1], bins[b + 2]
        for k in range(a, c):
            fb[b, k] = (k - a) / max(1, c - a)
        for k in range(c, d):
            fb[b, k] = (d - k) / max(1, d - c)
    return fb


FILTERS = mel_filters(512)


def mfcc(x):
    """12 cepstral coefficients and their deltas every 10 ms, mean removed."""
    x = np.append(x[:1], x[1:] - 0.97 * x[:-1])
    win, hop = int(0.025 * RATE), int(0.010 * RATE)
    if len(x) < win:
        x = np.pad(x, (0, win - len(x)))
    count = 1 + (len(x) - win) // hop
    idx = np.arange(win)[None, :] + hop * np.arange(count)[:, None]
    frames = x[idx] * np.hamming(win)
    power = np.abs(np.fft.rfft(frames, 512)) ** 2
    c = dct(np.log(power @ FILTERS.T + 1e-10), type=2, norm="ortho", axis=1)[:, 1:13]
    c -= c.mean(axis=0)
    d = np.gradient(c, axis=0) if len(c) > 1 else np.zeros_like(c)
    return np.hstack([c, d])


def dtw_all(query, templates):
    """Normalised DTW distance of query to every template, all templates at once."""
    lengths = np.array([len(t) for t in templates])
    tmax = lengths.max()
    dim = query.shape[1]
    pad = np.zeros((len(templates), tmax, dim))
    for k, t in enumerate(templates):
        pad[k, :len(t)] = t
    # cost[k, i, j]: distance of query frame i to frame j of template k
    cross = np.einsum("id,kjd->kij", query, pad)
    sq = (query ** 2).sum(axis=1)[None, :, None] + (pad ** 2).sum(axis=2)[:, None, :]
    cost = np.sqrt(np.maximum(sq - 2 * cross, 0))
    # Steps advance the query by one frame and the template by 0, 1 or 2 frames, so each row
    # follows from the row before at once.
    n = len(query)
    acc = np.full((len(templates), tmax + 2), np.inf)
    acc[:, 2] = cost[:, 0, 0]
    for i in range(1, n):
        best = np.minimum(np.minimum(acc[:, 2:], acc[:, 1:-1]), acc[:, :-2])
        acc = np.concatenate([np.full((len(templates), 2), np.inf), best + cost[:, i]], axis=1)
    return acc[np.arange(len(templates)), lengths + 1] / n


# --- sound measures ---------------------------------------------------------------------------

def silent_runs(x, level, min_ms):
    """(start, end) sample ranges of at least min_ms where |x| stays below 1 % of level."""
    quiet = np.abs(x) < level * 0.01
    edges = np.diff(np.concatenate([[0], quiet.astype(np.int8), [0]]))
    starts, ends = np.nonzero(edges == 1)[0], np.nonzero(edges == -1)[0]
    keep = ends - starts >= RATE * min_ms / 1000
    return list(zip(starts[keep], ends[keep]))


def peak_level(x):
    """Speech level: the 95th percentile of the peaks of 1 ms blocks that hold sound."""
    n = RATE // 1000
    m = len(x) // n
    if m == 0:
        return 0.0
    peaks = np.abs(x[:m * n]).reshape(m, n).max(axis=1)
    peaks = peaks[peaks > 1e-3]
    return float(np.percentile(peaks, 95)) if len(peaks) else 0.0


def clicks(x):
    """Abrupt endings: sound still at a quarter of the speech level within the 2 ms before a
    silence (below 1 % of it) of at least 10 ms, or before the end."""
    level = peak_level(x)
    if level == 0:
        return 0
    x = np.concatenate([x, np.zeros(RATE // 50)])
    count = 0
    span = RATE * 2 // 1000
    for start, _ in silent_runs(x, level, 10):
        if start > 0 and np.abs(x[max(0, start - span):start]).max() >= level * 0.25:
            count += 1
    return count


def closures(x):
    """Silent gaps of 20 ms or more between the first and last sound of a word."""
    y = trim(x)
    level = peak_level(y)
    if level == 0:
        return 0
    return sum(1 for start, end in silent_runs(y, level, 20) if start > 0 and end < len(y))


# --- the measure ------------------------------------------------------------------------------

def render_all(fn, texts, jobs):
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        return list(pool.map(fn, texts))


def identify(renders, templates):
    feats = [mfcc(trim(t)) for t in templates]
    ranks = []
    for n, x in enumerate(renders):
        y = trim(x)
        if len(y) < RATE // 50:
            ranks.append(len(templates))
            continue
        d = dtw_all(mfcc(y), feats)
        ranks.append(int((d < d[n]).sum()))
    return np.array(ranks)


def figures(name, words, sentences, word_templates, sentence_templates):
    wr = identify(words, word_templates)
    sr = identify(sentences, sentence_templates)
    lengths = np.array([len(trim(x)) / RATE for x in words])
    return {
        "voice": name,
        "identified": (wr == 0).mean(),
        "top5": (wr < 5).mean(),
        "sentences": (sr == 0).mean(),
        "clicks": sum(clicks(x) for x in words + sentences),
        "closures": sum(closures(x) for x in words),
        "word_ms": 1000 * lengths.mean(),
        "sentence_s": sum(len(trim(x)) / RATE for x in sentences),
        "short": int((lengths < 0.150).sum()),
        "missed": [],
        "ranks": wr,
    }


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build")
    ap.add_argument("--words", type=int, default=len(WORDS))
    ap.add_argument("--sentences", type=int, default=len(SENTENCES))
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--save", help="also write every rendering as a WAV file into this folder")
    args = ap.parse_args(argv[1:])
    build = os.path.abspath(args.build)
    if not os.path.exists(os.path.join(build, "hostkit", "env.sh")):
        sys.exit("intelligibility: no host tree in %s/hostkit (run tools/hostkit/hostkit.sh)"
                 % build)
    words = WORDS[:args.words]
    sentences = SENTENCES[:args.sentences]
    texts = words + sentences
    start = time.time()
    with tempfile.TemporaryDirectory() as work:
        ours = render_all(lambda t: render_ours(build, t, work), texts, args.jobs)
        base = render_all(lambda t: render_espeak(VOICE, t, work), texts, args.jobs)
        other = render_all(lambda t: render_espeak(OTHER_VOICE, t, work), texts, args.jobs)
    sys.stderr.write("intelligibility: rendered in %.0f s\n" % (time.time() - start))
    if args.save:
        os.makedirs(args.save, exist_ok=True)
        for tag, xs in (("ours", ours), ("espeak", base), ("other", other)):
            for n, x in enumerate(xs):
                y = np.clip(x * 32767, -32768, 32767).astype("<i2")
                with wave.open(os.path.join(args.save, "%s_%03d.wav" % (tag, n)), "wb") as w:
                    w.setnchannels(1)
                    w.setsampwidth(2)
                    w.setframerate(RATE)
                    w.writeframes(y.tobytes())
    nw = len(words)
    rows = [figures("ours (tramelis)", ours[:nw], ours[nw:], base[:nw], base[nw:]),
            figures("espeak-ng " + OTHER_VOICE, other[:nw], other[nw:], base[:nw], base[nw:]),
            figures("espeak-ng " + VOICE, base[:nw], base[nw:], base[:nw], base[nw:])]
    print("Intelligibility: %d words, %d sentences, matched against espeak-ng %s (%.0f s)"
          % (nw, len(sentences), VOICE, time.time() - start))
    print("%-22s %10s %6s %9s %7s %8s %8s %10s %6s" % (
        "voice", "identified", "top-5", "sentences", "clicks", "closures", "word ms",
        "sentences s", "short"))
    for r in rows:
        print("%-22s %10.3f %6.3f %9.3f %7d %8d %8.0f %10.1f %6d" % (
            r["voice"], r["identified"], r["top5"], r["sentences"], r["clicks"], r["closures"],
            r["word_ms"], r["sentence_s"], r["short"]))
    missed = [w for w, r in zip(words, rows[0]["ranks"]) if r > 0]
    print("ours not identified (%d): %s" % (len(missed), " ".join(missed)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
