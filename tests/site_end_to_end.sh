#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Copyright The Larkspur developers
# A new user's first run on a real-looking site: a few thousand files with odd
# names in nested folders. larkspur-cli writes the three sitemaps and converts
# the CSV back; the XML must pass the Sitemaps 0.84 schema, and every URL must
# lead back to a page on disk (and every page must have its URL). Then a site
# just over 50,000 pages: sitemap.xml must become a valid sitemap index of
# valid parts that together list every page, plain and gzipped.
#
# usage: site_end_to_end.sh LARKSPUR_CLI SCHEMA_FOLDER
set -euo pipefail

cli=$1
data=$2
files_wanted=${LARKSPUR_E2E_FILES:-3000}

if ! command -v xmllint > /dev/null; then
    echo "xmllint is missing (Debian package libxml2-utils; ./build.sh installs it)" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-e2e-XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TZ=UTC LC_ALL=C.UTF-8
mkdir -p "$XDG_CONFIG_HOME" "$work/wd"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# ----- the site

site="$work/My Site"
base_given="https://Docs.Example.COM/My Docs"
base="https://docs.example.com/My%20Docs/"

odd=(
    "index" "About Us" "R&D" "café" "naïve résumé" "日本語のページ" "a,b,c" "semi;colon"
    "it's" 'say "hi"' "<angle>" "100%" "hash#tag" "what?" "plus+sign" "eq=ual" "[brackets]"
    'back\slash' $'tab\there' "-dash" ".hidden" "~tilde" "emoji 🙂" "UPPER" "dollar\$sign"
    $'bad\xff\xfebytes' $'line\nbreak' "colon:at@" "paren(1)" "star*" "   spaced   "
)
page_exts=(.html .htm .HTML .Htm)
other_exts=(.css .js .png .txt .html.bak .php "" .HTML~ .xml)

folders=("")
RANDOM=20240501
for ((d = 0; d < 60; d++)); do
    parent=${folders[RANDOM % ${#folders[@]}]}
    depth=$(tr -cd / <<< "$parent" | wc -c)
    if ((depth >= 5)); then parent=""; fi
    name=${odd[RANDOM % ${#odd[@]}]}
    folders+=("$parent/$name $d")
done
for f in "${folders[@]}"; do mkdir -p "$site$f"; done

for ((i = 0; i < files_wanted; i++)); do
    folder=${folders[RANDOM % ${#folders[@]}]}
    name="${odd[RANDOM % ${#odd[@]}]} $i"
    if ((RANDOM % 10 < 3)); then
        ext=${other_exts[RANDOM % ${#other_exts[@]}]}
    else
        ext=${page_exts[RANDOM % ${#page_exts[@]}]}
    fi
    file="$site$folder/$name$ext"
    if ((RANDOM % 50 == 0)); then
        : > "$file"
    else
        printf '<html><body>%d</body></html>\n' "$i" > "$file"
    fi
    printf '%s\0' "$file" >> "$work/stamp.$((i % 25))"
done
# Last-write times spread over twenty years, in groups to keep it quick.
for ((g = 0; g < 25; g++)); do
    xargs -0 touch -d "@$((946684799 + g * 26000000))" < "$work/stamp.$g"
done

files_total=$(find "$site" -type f -printf x | wc -c)
files_empty=$(find "$site" -type f -empty -printf x | wc -c)
echo "site: $files_total files ($files_empty empty) in ${#folders[@]} folders"

run() {
    local out
    if ! out=$("$cli" "$@" 2>&1); then
        fail "larkspur-cli $*: $out"
    fi
}

# ----- stats

stats=$("$cli" stats "$site") || fail "larkspur-cli stats failed"
[[ $(sed -n 1p <<< "$stats") == "file totally: $files_total" ]] || fail "stats: $(sed -n 1p <<< "$stats")"
[[ $(sed -n 2p <<< "$stats") == "empty files: $files_empty" ]] || fail "stats: $(sed -n 2p <<< "$stats")"
grouped=$(sed -n '3,$p' <<< "$stats" | awk '{ n += $NF } END { print n + 0 }')
[[ $grouped == "$files_total" ]] || fail "the extension groups count $grouped files, not $files_total"

# ----- the three sitemaps, then the CSV converted back

run xml "$site" --url "$base_given"
run txt "$site" --url "$base_given"
run csv "$site" --url "$base_given"
cp "$site/sitemap.xml" "$work/direct.xml"
rm "$site/sitemap.xml"
run csv2xml "$site/sitemap.csv"
[[ -f "$site/sitemap.xml" ]] || fail "csv2xml wrote no sitemap.xml beside sitemap.csv"
cmp -s "$work/direct.xml" "$site/sitemap.xml" || fail "csv2xml's XML differs from the xml command's"

for xml in "$work/direct.xml" "$site/sitemap.xml"; do
    xmllint --noout --schema "$data/sitemap-0.84.xsd" "$xml" 2> "$work/xmllint.log" \
        || { head -20 "$work/xmllint.log" >&2; fail "$xml does not validate"; }
done
run xml "$site" --url "$base_given" --priority 1.0 --changefreq never --output "$work/other.xml"
xmllint --noout --schema "$data/sitemap-0.84.xsd" "$work/other.xml" 2> /dev/null \
    || fail "the sitemap with priority 1.0 and never does not validate"

# A saved project gives the same file.
run projects add "My Site" --path "$site" --url "$base_given" --working-dir "$work/wd"
"$cli" xml --project "My Site" --working-dir "$work/wd" --output - > "$work/project.xml" \
    || fail "larkspur-cli xml --project failed"
cmp -s "$work/direct.xml" "$work/project.xml" || fail "the saved project's sitemap differs"

# ----- every URL leads to a page, every page has its URL

xml_unescape() {
    local s=$1
    s=${s//&lt;/<}
    s=${s//&gt;/>}
    s=${s//&quot;/\"}
    s=${s//&apos;/\'}
    s=${s//&amp;/\&}
    printf '%s' "$s"
}

# The pages on disk, with their UTC dates.
declare -A page_date
while IFS= read -r -d '' rel && IFS= read -r -d '' date; do
    page_date[$rel]=$date
done < <(find "$site" -type f ! -empty \( -iname '*.html' -o -iname '*.htm' \) -printf '%P\0%TY-%Tm-%Td\0')

txt_urls=()
while IFS= read -r line; do
    txt_urls+=("${line%$'\r'}")
done < "$site/sitemap.txt"

declare -A seen
index=0
loc=""
while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
    "  <loc>"*"</loc>")
        loc=${line#  <loc>}
        loc=$(xml_unescape "${loc%</loc>}")
        ;;
    "  <lastmod>"*"</lastmod>")
        lastmod=${line#  <lastmod>}
        lastmod=${lastmod%</lastmod>}
        url=$loc
        [[ $url == "${txt_urls[index]:-}" ]] || fail "entry $index: xml has $url, txt has ${txt_urls[index]:-nothing}"
        index=$((index + 1))
        if [[ $url != "$base"* ]]; then
            fail "$url does not start with $base"
            continue
        fi
        encoded=${url#"$base"}
        if [[ $encoded =~ [^A-Za-z0-9._~!\$\&\'\(\)*+,\;=:@/%-] ]]; then
            fail "$url holds a byte that should have been escaped"
        fi
        printf -v rel '%b' "${encoded//%/\\x}"
        if [[ ! -f "$site/$rel" ]]; then
            fail "$url leads to no file ($rel)"
        elif [[ -z ${page_date[$rel]+set} ]]; then
            fail "$url is not a non-empty page"
        else
            [[ $lastmod == "${page_date[$rel]}" ]] || fail "$url: lastmod $lastmod, file date ${page_date[$rel]}"
            [[ -z ${seen[$rel]+set} ]] || fail "$url is listed twice"
            seen[$rel]=1
        fi
        ;;
    esac
done < "$work/direct.xml"

[[ $index == "${#txt_urls[@]}" ]] || fail "xml lists $index URLs, txt ${#txt_urls[@]}"
csv_rows=$(($(wc -l < "$site/sitemap.csv") - 1))
[[ $csv_rows == "$index" ]] || fail "csv has $csv_rows rows for $index URLs"
for rel in "${!page_date[@]}"; do
    [[ -n ${seen[$rel]+set} ]] || fail "the page $rel has no URL"
done

echo "$index URLs checked against ${#page_date[@]} pages on disk"

# ----- options: protocol 0.9 against its own schema

for extra in "" "--omit-hints --url-style clean --exclude *.htm"; do
    # shellcheck disable=SC2086
    run xml "$site" --url "$base_given" --protocol 0.9 $extra --output "$work/p09.xml"
    xmllint --noout --schema "$data/sitemap-0.9.xsd" "$work/p09.xml" 2> "$work/xmllint.log" \
        || { head -5 "$work/xmllint.log" >&2; fail "xml --protocol 0.9 $extra does not validate"; }
done

# ----- URL styles: every URL is one that a server set up for the style
# serves, mapped back to its file the way that server does:
#   folder: a URL ending in "/" is that folder's index.html, else index.htm
#           (Apache "DirectoryIndex index.html index.htm", nginx "index");
#           any other URL is the file of that path.
#   clean:  as folder, and a URL naming no file is that path plus ".html"
#           (nginx "try_files $uri $uri.html $uri/").
# Every page must be reached by exactly one URL: dup.html and dup.htm, and
# LICENSE.html beside the file LICENSE, too.
printf 'home' > "$site/index.html"
printf 'x' > "$site/dup.html"
printf 'x' > "$site/dup.htm"
printf 'x' > "$site/LICENSE.html"
printf 'x' > "$site/LICENSE"
printf 'x' > "$site${folders[3]}/index.htm"
printf 'x' > "$site${folders[3]}/INDEX.HTML"
declare -A pages=()
while IFS= read -r -d '' rel; do
    pages[$rel]=1
done < <(find "$site" -type f ! -empty \( -iname '*.html' -o -iname '*.htm' \) -printf '%P\0')
for style in folder clean; do
    "$cli" txt "$site" --url "$base_given" --url-style "$style" --output - > "$work/$style.txt" \
        || fail "txt --url-style $style failed"
    declare -A reached=()
    urls=0
    while IFS= read -r url; do
        url=${url%$'\r'}
        urls=$((urls + 1))
        encoded=${url#"$base"}
        printf -v rel '%b' "${encoded//%/\\x}"
        file=""
        if [[ -z $rel || $rel == */ ]]; then
            for index_page in index.html index.htm; do
                if [[ -f "$site/$rel$index_page" ]]; then file=$rel$index_page; break; fi
            done
        elif [[ -f "$site/$rel" ]]; then
            file=$rel
        elif [[ $style == clean ]]; then
            [[ -f "$site/$rel.html" ]] && file=$rel.html
        fi
        if [[ -z $file || -z ${pages[$file]+set} ]]; then
            fail "$style: $url is served by no page (${file:-nothing})"
            continue
        fi
        [[ -z ${reached[$file]+set} ]] || fail "$style: $file is reached twice"
        reached[$file]=1
    done < "$work/$style.txt"
    ((urls == ${#pages[@]})) || fail "$style: $urls URLs for ${#pages[@]} pages"
    grep -qxF "$base"$'\r' "$work/$style.txt" || fail "$style: the site's own index page is not $base"
    unset reached
done
echo "url styles folder and clean: every URL maps back to its page"

# ----- a site just over the protocol's 50,000 URLs per file

big="$work/big site"
big_pages=${LARKSPUR_E2E_BIG_PAGES:-50001}
big_base="https://example.com/big/"
for ((f = 0; f < 50; f++)); do mkdir -p "$big/part & $f"; done
for ((i = 0; i < big_pages; i++)); do
    printf '<p>%d</p>\n' "$i" > "$big/part & $((i % 50))/page $i.html"
done
today=$(date -u +%F)

big_saved=$("$cli" xml "$big" --url "$big_base") || fail "larkspur-cli xml on the large site failed"
run txt "$big" --url "$big_base"
run csv "$big" --url "$big_base"

# sitemap.xml is now the index of sitemap1.xml, sitemap2.xml, ...
xmllint --noout --schema "$data/siteindex-0.84.xsd" "$big/sitemap.xml" 2> "$work/xmllint.log" \
    || { head -5 "$work/xmllint.log" >&2; fail "the sitemap index does not validate"; }
grep -q 'xsi:schemaLocation="http://www.google.com/schemas/sitemap/0.84' "$big/sitemap.xml" \
    && grep -q 'http://www.google.com/schemas/sitemap/0.84/siteindex.xsd"' "$big/sitemap.xml" \
    || fail "the sitemap index does not name siteindex.xsd"
mapfile -t part_locs < <(sed -n 's|^.*<loc>\(.*\)</loc>.*$|\1|p' "$big/sitemap.xml" | tr -d '\r')
mapfile -t part_dates < <(sed -n 's|^.*<lastmod>\(.*\)</lastmod>.*$|\1|p' "$big/sitemap.xml" | tr -d '\r')
((${#part_locs[@]} >= 2)) || fail "$big_pages URLs gave ${#part_locs[@]} part(s)"
: > "$work/big-locs.txt"
for n in "${!part_locs[@]}"; do
    part="sitemap$((n + 1)).xml"
    [[ ${part_locs[n]} == "$big_base$part" ]] || fail "index entry $n is ${part_locs[n]}, not $big_base$part"
    [[ ${part_dates[n]:-} == "$today" ]] || fail "index entry $n is dated ${part_dates[n]:-nothing}, not $today"
    [[ -f "$big/$part" ]] || { fail "$part is missing"; continue; }
    xmllint --noout --schema "$data/sitemap-0.84.xsd" "$big/$part" 2> "$work/xmllint.log" \
        || { head -5 "$work/xmllint.log" >&2; fail "$part does not validate"; }
    urls=$(grep -c '<loc>' "$big/$part" || true)
    ((urls <= 50000)) || fail "$part holds $urls URLs"
    (($(stat -c %s "$big/$part") <= 10485760)) || fail "$part is larger than 10 MiB"
    sed -n 's|^  <loc>\(.*\)</loc>.$|\1|p' "$big/$part" | sed 's/&amp;/\&/g' >> "$work/big-locs.txt"
done
[[ ! -e "$big/sitemap$((${#part_locs[@]} + 1)).xml" ]] || fail "a part is written that the index does not list"
expected_saved="$big/sitemap.xml saved."
for n in "${!part_locs[@]}"; do expected_saved+=$'\n'"$big/sitemap$((n + 1)).xml saved."; done
[[ $big_saved == "$expected_saved" ]] || fail "xml reported: $big_saved"
# Past 50,000 URLs the text sitemap is split the same way: sitemap1.txt, ...
# listed by sitemap-index.xml, and no sitemap.txt.
[[ ! -e "$big/sitemap.txt" ]] || fail "sitemap.txt is left beside the text parts"
xmllint --noout --schema "$data/siteindex-0.84.xsd" "$big/sitemap-index.xml" 2> "$work/xmllint.log" \
    || { head -5 "$work/xmllint.log" >&2; fail "the text sitemap index does not validate"; }
text_parts=()
for n in "${!part_locs[@]}"; do
    text_parts+=("$big/sitemap$((n + 1)).txt")
    grep -q "<loc>${big_base}sitemap$((n + 1)).txt</loc>" "$big/sitemap-index.xml" \
        || fail "sitemap-index.xml does not list sitemap$((n + 1)).txt"
done
cat "${text_parts[@]}" | tr -d '\r' | cmp -s - "$work/big-locs.txt" \
    || fail "the XML parts and the text parts do not list the same URLs in order"
(($(wc -l < "$work/big-locs.txt") == big_pages)) || fail "the parts list $(wc -l < "$work/big-locs.txt") URLs"

# The CSV converted back, told the address of its folder, gives the same
# index and parts.
mkdir "$work/direct-big"
cp "$big"/sitemap.xml "$big"/sitemap[0-9]*.xml "$work/direct-big/"
rm "$big"/sitemap.xml "$big"/sitemap[0-9]*.xml
run csv2xml "$big/sitemap.csv" --url "$big_base"
for file in "$work/direct-big"/*.xml; do
    cmp -s "$file" "$big/${file##*/}" || fail "csv2xml's ${file##*/} differs from the xml command's"
done
# The same site in protocol 0.9: an index and parts valid against its schemas.
mkdir "$work/big09"
run xml "$big" --url "$big_base" --protocol 0.9 --output "$work/big09/sitemap.xml"
xmllint --noout --schema "$data/siteindex-0.9.xsd" "$work/big09/sitemap.xml" 2> "$work/xmllint.log" \
    || { head -5 "$work/xmllint.log" >&2; fail "the 0.9 sitemap index does not validate"; }
for part in "$work/big09"/sitemap[0-9]*.xml; do
    xmllint --noout --schema "$data/sitemap-0.9.xsd" "$part" 2> "$work/xmllint.log" \
        || { head -5 "$work/xmllint.log" >&2; fail "${part##*/} (0.9) does not validate"; }
done
# Compressed: every file is gzip, and decompressed it is what the plain run
# wrote, the index naming the .xml.gz parts; valid against the schemas.
mkdir "$work/bigz"
run xml "$big" --url "$big_base" --gzip --output "$work/bigz/sitemap.xml"
gzip -t "$work/bigz/sitemap.xml.gz" || fail "sitemap.xml.gz is not whole gzip"
zcat "$work/bigz/sitemap.xml.gz" | xmllint --noout --schema "$data/siteindex-0.84.xsd" - 2> "$work/xmllint.log" \
    || { head -5 "$work/xmllint.log" >&2; fail "the compressed sitemap index does not validate"; }
zcat "$work/bigz/sitemap.xml.gz" | sed 's|\.xml\.gz</loc>|.xml</loc>|' | cmp -s - "$work/direct-big/sitemap.xml" \
    || fail "the compressed index differs from the plain one but for the part names"
for n in "${!part_locs[@]}"; do
    part="$work/bigz/sitemap$((n + 1)).xml.gz"
    gzip -t "$part" || { fail "${part##*/} is not whole gzip"; continue; }
    zcat "$part" | xmllint --noout --schema "$data/sitemap-0.84.xsd" - 2> "$work/xmllint.log" \
        || { head -5 "$work/xmllint.log" >&2; fail "${part##*/} does not validate"; }
    zcat "$part" | cmp -s - "$work/direct-big/sitemap$((n + 1)).xml" || fail "${part##*/} differs from the plain part"
done
[[ ! -e "$work/bigz/sitemap.xml" ]] || fail "--gzip wrote a plain sitemap.xml too"
echo "$big_pages URLs in ${#part_locs[@]} parts checked"

# Standard output cannot be split: one document, and a warning.
"$cli" xml "$big" --url "$big_base" --output - > "$work/big-stdout.xml" 2> "$work/big-stderr.txt" \
    || fail "xml --output - on the large site failed"
(($(grep -c '<loc>' "$work/big-stdout.xml") == big_pages)) || fail "standard output does not hold every URL"
grep -q "over the protocol's limit for one file (50000 URLs, 10485760 bytes)" "$work/big-stderr.txt" \
    || fail "xml --output - past the limits gives no warning"

# The site shrinks below the limit: the parts the old index listed go.
if ((big_pages - 2 <= 50000)); then
    rm "$big/part & 0/page 0.html" "$big/part & 1/page 1.html"
    run xml "$big" --url "$big_base"
    grep -q '<urlset' "$big/sitemap.xml" || fail "sitemap.xml of the smaller site is no urlset"
    run xml "$big" --url "$big_base" --gzip --output "$work/bigz/sitemap.xml"
    [[ $(zcat "$work/bigz/sitemap.xml.gz") == *'<urlset'* ]] || fail "sitemap.xml.gz of the smaller site is no urlset"
    for n in "${!part_locs[@]}"; do
        [[ ! -e "$big/sitemap$((n + 1)).xml" ]] || fail "sitemap$((n + 1)).xml is left over from the larger site"
        [[ ! -e "$work/bigz/sitemap$((n + 1)).xml.gz" ]] || fail "sitemap$((n + 1)).xml.gz is left over from the larger site"
    done
fi

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
