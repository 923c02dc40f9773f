"""The real pictures of bench/real_pictures.sh: which ones, converted how, the plain k-means
they are measured against, and the table of the results.

    real_pictures.py convert UNPACKED PICTURES   the chosen pictures as .tga files
    real_pictures.py kmeans PICTURES OUT.json PROGRAM   a plain k-means of each picture's blocks
    real_pictures.py report RESULTS.json KMEANS.json
"""
import hashlib
import json
import math
import os
import statistics
import subprocess
import sys

# (package, path below the package's root, kind). Game art keeps its own size; photographs
# are cropped to 2:1 and scaled to 1024x512.
PICTURES = [
    ("pingus-data", "usr/share/games/pingus/data/images/core/menu/layer2.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/core/menu/layer3.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/core/menu/blackboard.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/textures/easter_grass.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/textures/easter_sky.jpg", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/textures/mountain.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/textures/clouds3.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/fonts/chalk-40px.png", "font"),
    ("pingus-data", "usr/share/games/pingus/data/images/fonts/pingus-small-cjk-20px.png", "font"),
    ("pingus-data", "usr/share/games/pingus/data/images/special/pacman/pacman-maze.png", "art"),
    ("pingus-data", "usr/share/games/pingus/data/images/traps/hammer.png", "sprite"),
    ("pingus-data", "usr/share/games/pingus/data/images/pingus/common/light.png", "sprite"),
    ("pingus-data", "usr/share/games/pingus/data/images/levelsets/halloween.png", "sprite"),
    ("pingus-data", "usr/share/games/pingus/data/images/levelsets/desert.png", "sprite"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/game.png", "sprite"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/particles.png", "sprite"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/emoticons.png", "sprite"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/skins/body/fox.png", "sprite"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/skins/bot.png", "sprite"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/ui/gui_logo.png", "ui"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/ui/blob.png", "ui"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/ui/icons/level.png", "ui"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/ui/menuimages/play_game.png", "ui"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/ui/debug_font.png", "font"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/editor/background.png", "art"),
    ("teeworlds-data", "usr/share/games/teeworlds/data/mapres/winter_mountains.png", "art"),
    ("lbreakout2-data", "usr/share/games/lbreakout2/gfx/AbsoluteB/menuback.png", "art"),
    ("lbreakout2-data", "usr/share/games/lbreakout2/gfx/explosions.png", "sprite"),
    ("lbreakout2-data", "usr/share/games/lbreakout2/gfx/back1.png", "art"),
] + [("mate-backgrounds", "usr/share/backgrounds/mate/nature/%s.jpg" % name, "photo")
     for name in ("Aqua", "Dune", "FreshFlower", "Garden", "GreenMeadow", "LadyBird", "RainDrops", "Storm",
                  "TwoWings", "Wood")]

MAX_PIXELS = 524288
MAX_ENTRIES = 4095


def picture_name(package, path):
    base = os.path.splitext(os.path.basename(path))[0]
    return "%s-%s" % (package.split("-")[0], base)


def convert(unpacked, out):
    from PIL import Image

    kinds = {}
    for package, path, kind in PICTURES:
        name = picture_name(package, path)
        target = os.path.join(out, name + ".tga")
        kinds[name] = kind
        if os.path.exists(target):
            continue
        image = Image.open(os.path.join(unpacked, package, path)).convert("RGBA")
        if kind == "photo":
            width, height = image.size
            crop = min(width, height * 2)
            left, top = (width - crop) // 2, (height - crop // 2) // 2
            image = image.crop((left, top, left + crop, top + crop // 2)).resize((1024, 512), Image.LANCZOS)
        if image.size[0] * image.size[1] > MAX_PIXELS:
            sys.exit("%s: %dx%d is more than a record holds" % (name, image.size[0], image.size[1]))
        image.save(target)
    with open(os.path.join(out, "kinds.json"), "w") as f:
        json.dump(kinds, f, indent=1)


def kmeans(pictures, out, program):
    """The PSNR of a plain k-means of each picture's blocks (bench/kmeans_reference), kept per
    picture, by its bytes, in out: it takes up to minutes a photograph."""
    done = {}
    if os.path.exists(out):
        with open(out) as f:
            done = json.load(f)
    for file in sorted(os.listdir(pictures)):
        if not file.endswith(".tga"):
            continue
        path = os.path.join(pictures, file)
        with open(path, "rb") as f:
            digest = hashlib.sha1(f.read()).hexdigest()
        name = file[:-4]
        if done.get(name, {}).get("sha1") == digest:
            continue
        print("k-means of %s" % name, file=sys.stderr, flush=True)
        words = subprocess.run([program, path], check=True, capture_output=True, text=True).stdout.split()
        exact = words[1] == "exact"
        done[name] = {"sha1": digest, "bytes": None if exact else float(words[1]),
                      "float": None if exact else float(words[2])}
        with open(out, "w") as f:
            json.dump(done, f, indent=1)


def report(results, kmeans_file):
    with open(results) as f:
        runs = json.load(f)["benchmarks"]
    with open(kmeans_file) as f:
        reference = json.load(f)
    kinds_file = os.path.join(os.path.dirname(kmeans_file), "pictures", "kinds.json")
    kinds = json.load(open(kinds_file)) if os.path.exists(kinds_file) else {}
    rows = []
    for run in runs:
        if run.get("aggregate_name", "median") != "median" or "error_occurred" in run:
            if "error_occurred" in run:
                print("%s: %s" % (run["name"], run.get("error_message", "failed")))
            continue
        name = run["run_name"].split("/", 1)[1]
        exact = run["exact"] == 1
        psnr = math.inf if exact else run["psnr_dB"]
        known = reference.get(name)  # None: not measured (yet)
        ref = None if known is None else math.inf if known["bytes"] is None else known["bytes"]
        unrounded = None if known is None else math.inf if known["float"] is None else known["float"]
        rows.append({
            "name": name, "kind": kinds.get(name, "?"), "size": "%dx%d" % (run["width"], run["height"]),
            "exact": exact, "bytes": int(run["bytes"]), "raw": int(run["raw_bytes"]), "psnr": psnr,
            "kmeans": ref, "unrounded": unrounded, "ms": run["real_time"] if run.get("time_unit") == "ms" else run["real_time"] / 1e6,
        })

    def db(value):
        return "-" if value is None else "exact" if math.isinf(value) else "%.1f" % value

    print("%-28s %-6s %-9s %-5s %9s %7s %7s %7s %6s %7s %8s" %
          ("picture", "kind", "size", "coded", "bytes", "of raw", "PSNR", "k-means", "diff", "(float)", "ms"))
    differences = []
    for r in rows:
        stored = "exact" if r["exact"] else "lossy"
        if r["bytes"] > r["raw"]:
            stored = "raw!"  # a replay stores the raw record then
        diff = ""
        if r["kmeans"] is not None and not math.isinf(r["kmeans"]):
            d = (r["psnr"] - r["kmeans"]) if not math.isinf(r["psnr"]) else math.inf
            differences.append(d)
            diff = "+inf" if math.isinf(d) else "%+.2f" % d
        print("%-28s %-6s %-9s %-5s %9d %7s %7s %7s %6s %7s %8.1f" %
              (r["name"], r["kind"], r["size"], stored, r["bytes"], "1/%.1f" % (r["raw"] / r["bytes"]), db(r["psnr"]),
               db(r["kmeans"]), diff, db(r["unrounded"]), r["ms"]))
    print()
    if differences:
        finite = [d for d in differences if not math.isinf(d)]
        print("against k-means, where it is lossy (%d pictures, %d of them exact here): median %+.2f dB, worst %+.2f dB"
              % (len(differences), len(differences) - len(finite), statistics.median(differences),
                 min(finite) if finite else math.inf))
        if finite:
            print("where both are lossy (%d pictures): median %+.2f dB" % (len(finite), statistics.median(finite)))
    photos = [r for r in rows if r["kind"] == "photo"]
    if photos:
        psnrs = [r["psnr"] for r in photos]
        ratios = [r["raw"] / r["bytes"] for r in photos]
        print("photographs (%d): %.1f to %.1f dB (median %.1f), 1/%.1f to 1/%.1f of raw (median 1/%.1f), "
              "at most %.0f ms each" % (len(photos), min(psnrs), max(psnrs), statistics.median(psnrs), min(ratios),
                                       max(ratios), statistics.median(ratios), max(r["ms"] for r in photos)))
    print("exact: %d of %d pictures; a compressed record larger than the raw one: %d" %
          (sum(r["exact"] for r in rows), len(rows), sum(r["bytes"] > r["raw"] for r in rows)))


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "convert" and len(sys.argv) == 4:
        convert(sys.argv[2], sys.argv[3])
    elif command == "kmeans" and len(sys.argv) == 5:
        kmeans(sys.argv[2], sys.argv[3], sys.argv[4])
    elif command == "report" and len(sys.argv) == 4:
        report(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
